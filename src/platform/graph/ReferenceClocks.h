#pragma once
// The clock a graph runs on by default: the monotonic system clock.
#include "platform/com/ComObject.h"
#include "platform/graph/FilterInterfaces.h"

namespace kestrine::platform {

// steady_clock in 100 ns units; never jumps with wall-clock changes.
class SystemReferenceClock final : public ComObject<IReferenceClock, IReferenceClockWait> {
public:
    HRESULT GetTime(REFERENCE_TIME* time) override;
    HRESULT WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs) override;
};

// Reads a clock, 0 when it cannot be read.
REFERENCE_TIME ClockNow(IReferenceClock* clock);
// Sleeps until the clock reaches target or maxWaitMs passes; for clocks without IReferenceClockWait it sleeps in short steps.
bool WaitForClock(IReferenceClock* clock, REFERENCE_TIME target, DWORD maxWaitMs);

}  // namespace kestrine::platform
