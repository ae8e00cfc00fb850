#include "doubles/ManualReferenceClock.h"

#include <algorithm>
#include <chrono>

namespace kestrine::platform {

HRESULT ManualReferenceClock::GetTime(REFERENCE_TIME* time)
{
    if (time == nullptr) return E_POINTER;
    *time = Now();
    return S_OK;
}

HRESULT ManualReferenceClock::WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs)
{
    std::unique_lock lock(mutex_);
    const bool reached = moved_.wait_for(lock, std::chrono::milliseconds(maxWaitMs), [&] { return now_ >= target; });
    return reached ? S_OK : S_FALSE;
}

void ManualReferenceClock::Advance(REFERENCE_TIME delta)
{
    {
        std::lock_guard lock(mutex_);
        if (delta > 0) now_ += delta;
    }
    moved_.notify_all();
}

void ManualReferenceClock::SetTime(REFERENCE_TIME time)
{
    {
        std::lock_guard lock(mutex_);
        now_ = std::max(now_, time);
    }
    moved_.notify_all();
}

REFERENCE_TIME ManualReferenceClock::Now() const
{
    std::lock_guard lock(mutex_);
    return now_;
}

}  // namespace kestrine::platform
