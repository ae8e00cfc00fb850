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
