#pragma once
// The audio renderer: takes decoded PCM at its presentation times by the graph clock, applies the
// IBasicAudio volume, and offers a monotonic reference clock the graph can run on. Where no sound
// device exists the samples go to a silent sink that consumes them at the clock's rate, so
// positions, end of stream and EC_COMPLETE behave as with a device.
#include "platform/graph/MemoryRenderer.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace kestrine::platform {

class SoundOutput;

class AudioRenderer final : public MemoryRenderer {
public:
    AudioRenderer();
    ~AudioRenderer() override;

    // Whether the samples go to a sound device (false: the silent sink alone).
    bool PlaysToDevice() const;

    // Stream time consumed by the sink in the current run, in 100 ns units (sum of sample durations).
    REFERENCE_TIME ConsumedTime() const { return consumed_.load(); }
    std::uint64_t ConsumedBytes() const { return consumedBytes_.load(); }
    // The gain the IBasicAudio volume (kept by MemoryRenderer) stands for.
    double Gain() const;

protected:
    void* QueryExtraInterface(REFIID riid) override;
    void Present(const Frame& frame) override;
    HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;
    HRESULT PinBeginFlush(Pin& pin) override;
    HRESULT PinConnected(Pin& pin) override;
    void PinDisconnected(Pin& pin) override;

private:
    class ClockPart final : public ComPart<IReferenceClock, IReferenceClockWait> {
    public:
        explicit ClockPart(AudioRenderer& r) : ComPart(*r.IdentityUnknown()), renderer(r) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override { return renderer.QueryInterface(riid, ppv); }
        HRESULT GetTime(REFERENCE_TIME* time) override;
        HRESULT WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs) override;
        AudioRenderer& renderer;
    };

    std::atomic<REFERENCE_TIME> consumed_{0};
    std::atomic<std::uint64_t> consumedBytes_{0};
    ClockPart clockPart_{*this};

    mutable std::mutex outputMutex_;
    std::unique_ptr<SoundOutput> output_;  // made and dropped on the GUI thread
    int bitsPerSample_ = 0;
    bool floatSamples_ = false;
};

}  // namespace kestrine::platform
