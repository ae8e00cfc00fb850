#pragma once
// Clocks a graph can run on: the monotonic system clock by default, and a clock that tests step by hand.
#include "platform/com/ComObject.h"
#include "platform/graph/FilterInterfaces.h"

#include <condition_variable>
#include <mutex>

namespace kestrine::platform {

// steady_clock in 100 ns units; never jumps with wall-clock changes.
class SystemReferenceClock final : public ComObject<IReferenceClock, IReferenceClockWait> {
public:
    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs) override;
};

// Stands still until Advance or SetTime moves it; waiting threads wake when it passes their time.
class ManualReferenceClock final : public ComObject<IReferenceClock, IReferenceClockWait> {
public:
    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs) override;

    void Advance(REFERENCE_TIME delta);
    // Moves to time; a time before the current one is ignored, as a reference clock never goes back.
    void SetTime(REFERENCE_TIME time);
    REFERENCE_TIME Now() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable moved_;
    REFERENCE_TIME now_ = 0;
};

// Reads a clock, 0 when it cannot be read.
REFERENCE_TIME ClockNow(IReferenceClock* clock);
// Sleeps until the clock reaches target or maxWaitMs passes; for clocks without IReferenceClockWait it sleeps in short steps.
bool WaitForClock(IReferenceClock* clock, REFERENCE_TIME target, DWORD maxWaitMs);

}  // namespace kestrine::platform
