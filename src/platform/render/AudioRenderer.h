#pragma once
// The audio renderer: takes decoded PCM at its presentation times by the graph clock, applies the
// IBasicAudio volume, and offers a monotonic reference clock the graph can run on.
//
// Where no sound device exists the samples go to a silent sink that consumes each block when it
// falls due, and the clock is the system's monotonic clock, so positions, end of stream and
// EC_COMPLETE behave as with a device.
//
// Where a device plays, the clock follows what the device has really played (AudioClock), and
// while the graph runs on that clock the blocks are handed over ahead of their time, each placed
// on the device's stream at the byte where it has to sound: so what is heard is where the clock
// says, and pictures, which wait for the same clock, follow the sound.
#include "platform/graph/MemoryRenderer.h"
#include "platform/render/AudioClock.h"

#include <QAudioFormat>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

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

    // A block as the sink consumed it: for measuring what is heard when.
    struct Heard {
        REFERENCE_TIME clockTime = 0;  // reference-clock time its first sample sounds (or is consumed, silent)
        REFERENCE_TIME mediaTime = 0;  // the position in the file of that sample
        const BYTE* data = nullptr;    // PCM from that sample on, volume applied
        std::size_t size = 0;
        int channels = 0;
        int sampleRate = 0;
        int bitsPerSample = 0;
        bool floatSamples = false;
    };
    // Called on the consuming thread (streaming thread for the silent sink, the device's thread
    // otherwise); it must be quick and must not call back into the graph.
    void SetHeardObserver(std::function<void(const Heard&)> observer);

    // What the sound goes to when the pin connects: by default the default device where there is
    // one, else the silent sink. Tests give a stand-in device here. Set before connecting.
    using OutputOpener = std::function<std::unique_ptr<SoundOutput>(const QAudioFormat&)>;
    void SetOutputOpener(OutputOpener opener);

    // IBaseFilter: when the graph runs on this renderer's own clock with a device playing, the
    // scheduling underneath sees that clock ahead by the device's latency.
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

protected:
    void* QueryExtraInterface(REFIID riid) override;
    void Present(const Frame& frame) override;
    HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;
    HRESULT PinBeginFlush(Pin& pin) override;
    HRESULT PinEndFlush(Pin& pin) override;
    HRESULT PinEndOfStream(Pin& pin) override;
    HRESULT PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type) override;
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
    // The renderer's clock seen `lead` ahead: the time blocks have to be handed to the device.
    class LeadClock;

    struct Pending {
        std::vector<char> bytes;
        REFERENCE_TIME start = 0;
        REFERENCE_TIME mediaTime = 0;
    };

    REFERENCE_TIME ClockTime();
    bool WaitForClockTime(REFERENCE_TIME target, DWORD maxWaitMs);
    // How far ahead of their time blocks go to the device: what it holds unplayed, and a margin.
    REFERENCE_TIME DeviceLead() const;
    bool RunsOnOwnClock() const;
    // With outputMutex_ held: hands a block to the device, placed when the graph runs on our clock.
    void PlaceLocked(Pending block);
    void NotifyHeard(REFERENCE_TIME clockTime, REFERENCE_TIME mediaTime, const char* data, std::size_t size);

    std::atomic<REFERENCE_TIME> consumed_{0};
    std::atomic<std::uint64_t> consumedBytes_{0};
    ClockPart clockPart_{*this};
    ComPtr<IReferenceClock> leadClock_;

    mutable std::mutex clockMutex_;
    AudioClock deviceClock_;
    REFERENCE_TIME lastClockTime_ = 0;  // the clock never goes back, whichever way it is read
    ComPtr<IReferenceClock> graphClock_;

    mutable std::mutex outputMutex_;
    std::unique_ptr<SoundOutput> output_;  // opened on the GUI thread; plays on a thread of its own
    std::vector<Pending> pending_;         // blocks presented while not running (the cued one)
    REFERENCE_TIME placedRunStart_ = 0;    // the run start the queued blocks were placed for
    bool placedRun_ = false;
    int bitsPerSample_ = 0;
    int channels_ = 0;
    int sampleRate_ = 0;
    bool floatSamples_ = false;

    std::atomic<bool> flushing_{false};
    std::atomic<REFERENCE_TIME> lastStop_{0};  // stream time the last presented block ends

    OutputOpener opener_;

    mutable std::mutex observerMutex_;
    std::shared_ptr<const std::function<void(const Heard&)>> observer_;
};

}  // namespace kestrine::platform
