#pragma once
// A reference clock that tests step by hand, so timing can be checked without waiting on real time.
#include "platform/com/ComObject.h"
#include "platform/graph/FilterInterfaces.h"

#include <condition_variable>
#include <mutex>

namespace kestrine::platform {

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

}  // namespace kestrine::platform
