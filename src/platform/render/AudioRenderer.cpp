#include "platform/render/AudioRenderer.h"

#include "platform/render/AudioVolume.h"

#include <chrono>
#include <thread>

namespace kestrine::platform {

AudioRenderer::AudioRenderer() : MemoryRenderer(MEDIATYPE_Audio, {MEDIASUBTYPE_PCM, MEDIASUBTYPE_IEEE_FLOAT}) {}

double AudioRenderer::Gain() const { return VolumeToGain(Volume()); }

void* AudioRenderer::QueryExtraInterface(REFIID riid)
{
    if (riid == IReferenceClock::kIid) return static_cast<IReferenceClock*>(&clockPart_);
    if (riid == IReferenceClockWait::kIid) return static_cast<IReferenceClockWait*>(&clockPart_);
    return MemoryRenderer::QueryExtraInterface(riid);
}

// The silent sink: a sample is consumed when it falls due by the graph clock.
void AudioRenderer::Present(const Frame& frame)
{
    consumed_ += frame.stop > frame.start ? frame.stop - frame.start : 0;
    consumedBytes_ += frame.data.size();
}

HRESULT AudioRenderer::OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start)
{
    if (from == State_Stopped && to != State_Stopped) {
        consumed_ = 0;
        consumedBytes_ = 0;
    }
    return MemoryRenderer::OnStateChange(from, to, start);
}

HRESULT AudioRenderer::PinBeginFlush(Pin& pin)
{
    consumed_ = 0;  // a seek starts the count again
    consumedBytes_ = 0;
    return MemoryRenderer::PinBeginFlush(pin);
}

namespace {
REFERENCE_TIME MonotonicNow()
{
    return std::chrono::duration_cast<std::chrono::duration<REFERENCE_TIME, std::ratio<1, kUnitsPerSecond>>>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

HRESULT AudioRenderer::ClockPart::GetTime(REFERENCE_TIME* time)
{
    if (time == nullptr) return E_POINTER;
    *time = MonotonicNow();
    return S_OK;
}

HRESULT AudioRenderer::ClockPart::WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs)
{
    const REFERENCE_TIME now = MonotonicNow();
    if (now >= target) return S_OK;
    const auto left = std::chrono::microseconds((target - now) / 10);
    const auto cap = std::chrono::milliseconds(maxWaitMs);
    std::this_thread::sleep_for(left < cap ? left : std::chrono::duration_cast<std::chrono::microseconds>(cap));
    return MonotonicNow() >= target ? S_OK : S_FALSE;
}

}  // namespace kestrine::platform
