#include "platform/graph/ReferenceClocks.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kestrine::platform {

HRESULT SystemReferenceClock::GetTime(REFERENCE_TIME* time)
{
    if (time == nullptr) return E_POINTER;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
    *time = static_cast<REFERENCE_TIME>(ns.count() / 100);
    return S_OK;
}

HRESULT SystemReferenceClock::WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs)
{
    REFERENCE_TIME now = 0;
    GetTime(&now);
    if (now >= target) return S_OK;
    const REFERENCE_TIME limit = static_cast<REFERENCE_TIME>(maxWaitMs) * 10'000;
    const REFERENCE_TIME wait = std::min(target - now, limit);
    std::this_thread::sleep_for(std::chrono::nanoseconds(wait * 100));
    GetTime(&now);
    return now >= target ? S_OK : S_FALSE;
}

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

REFERENCE_TIME ClockNow(IReferenceClock* clock)
{
    REFERENCE_TIME t = 0;
    if (clock == nullptr || FAILED(clock->GetTime(&t))) return 0;
    return t;
}

bool WaitForClock(IReferenceClock* clock, REFERENCE_TIME target, DWORD maxWaitMs)
{
    if (clock == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<DWORD>(maxWaitMs, 2)));
        return false;
    }
    ComPtr<IReferenceClockWait> waiter;
    if (SUCCEEDED(clock->QueryInterface(IReferenceClockWait::kIid, reinterpret_cast<void**>(waiter.GetAddressOf()))))
        return waiter->WaitUntil(target, maxWaitMs) == S_OK;
    if (ClockNow(clock) >= target) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<DWORD>(maxWaitMs, 2)));
    return ClockNow(clock) >= target;
}

}  // namespace kestrine::platform
