#include "platform/render/AudioRenderer.h"

#include "platform/graph/Pin.h"
#include "platform/graph/WaveFormat.h"
#include "platform/render/AudioVolume.h"
#include "platform/render/SoundOutput.h"

#include <QAudioFormat>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace kestrine::platform {

namespace {

unsigned Read16(const std::vector<BYTE>& b, std::size_t at) { return at + 2 <= b.size() ? unsigned(b[at]) | unsigned(b[at + 1]) << 8 : 0; }
unsigned Read32(const std::vector<BYTE>& b, std::size_t at) { return at + 4 <= b.size() ? Read16(b, at) | Read16(b, at + 2) << 16 : 0; }

// Scales samples in place by the volume's gain.
void ApplyGain(std::vector<char>& bytes, int bits, bool isFloat, double gain)
{
    if (gain >= 1.0) return;
    if (isFloat && bits == 32) {
        for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            float v;
            std::memcpy(&v, bytes.data() + i, 4);
            v = static_cast<float>(v * gain);
            std::memcpy(bytes.data() + i, &v, 4);
        }
    } else if (bits == 16) {
        for (std::size_t i = 0; i + 2 <= bytes.size(); i += 2) {
            std::int16_t v;
            std::memcpy(&v, bytes.data() + i, 2);
            v = static_cast<std::int16_t>(v * gain);
            std::memcpy(bytes.data() + i, &v, 2);
        }
    } else if (bits == 32) {
        for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            std::int32_t v;
            std::memcpy(&v, bytes.data() + i, 4);
            v = static_cast<std::int32_t>(v * gain);
            std::memcpy(bytes.data() + i, &v, 4);
        }
    } else if (bits == 8) {
        for (char& c : bytes) c = static_cast<char>(128 + static_cast<int>((static_cast<unsigned char>(c) - 128) * gain));
    }
}

constexpr REFERENCE_TIME kMs = 10'000;

}  // namespace

// The renderer's clock read ahead by the device's latency. Only the renderer's own scheduling
// sees it; the graph and everyone else see the clock itself.
class AudioRenderer::LeadClock final : public ComObject<IReferenceClock, IReferenceClockWait> {
public:
    explicit LeadClock(AudioRenderer& r) : renderer_(r) {}
    HRESULT GetTime(REFERENCE_TIME* time) override
    {
        if (time == nullptr) return E_POINTER;
        *time = renderer_.ClockTime() + renderer_.DeviceLead();
        return S_OK;
    }
    HRESULT WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs) override
    {
        return renderer_.WaitForClockTime(target - renderer_.DeviceLead(), maxWaitMs) ? S_OK : S_FALSE;
    }

private:
    AudioRenderer& renderer_;  // the renderer holds this clock and outlives its use
};

AudioRenderer::AudioRenderer() : MemoryRenderer(MEDIATYPE_Audio, {MEDIASUBTYPE_PCM, MEDIASUBTYPE_IEEE_FLOAT})
{
    leadClock_ = MakeComObject<LeadClock>(*this);
}

AudioRenderer::~AudioRenderer() = default;

bool AudioRenderer::PlaysToDevice() const
{
    std::lock_guard lock(outputMutex_);
    return output_ != nullptr;
}

void AudioRenderer::SetOutputOpener(OutputOpener opener) { opener_ = std::move(opener); }

void AudioRenderer::SetHeardObserver(std::function<void(const Heard&)> observer)
{
    std::lock_guard lock(observerMutex_);
    observer_ = observer ? std::make_shared<const std::function<void(const Heard&)>>(std::move(observer)) : nullptr;
}

void AudioRenderer::NotifyHeard(REFERENCE_TIME clockTime, REFERENCE_TIME mediaTime, const char* data, std::size_t size)
{
    std::shared_ptr<const std::function<void(const Heard&)>> observer;
    {
        std::lock_guard lock(observerMutex_);
        observer = observer_;
    }
    if (!observer) return;
    Heard heard;
    heard.clockTime = clockTime;
    heard.mediaTime = mediaTime;
    heard.data = reinterpret_cast<const BYTE*>(data);
    heard.size = size;
    heard.channels = channels_;
    heard.sampleRate = sampleRate_;
    heard.bitsPerSample = bitsPerSample_;
    heard.floatSamples = floatSamples_;
    (*observer)(heard);
}

HRESULT AudioRenderer::SetSyncSource(IReferenceClock* clock)
{
    {
        std::lock_guard lock(clockMutex_);
        graphClock_ = ComPtr<IReferenceClock>(clock);
    }
    // On our own clock the base scheduling waits on the lead clock, which adds the device's
    // latency (nothing for the silent sink), so blocks reach the device before they must sound.
    const bool own = clock == static_cast<IReferenceClock*>(&clockPart_);
    return MemoryRenderer::SetSyncSource(own ? leadClock_.Get() : clock);
}

HRESULT AudioRenderer::GetSyncSource(IReferenceClock** clock)
{
    if (clock == nullptr) return E_POINTER;
    std::lock_guard lock(clockMutex_);
    return graphClock_.CopyTo(clock);
}

bool AudioRenderer::RunsOnOwnClock() const
{
    std::lock_guard lock(clockMutex_);
    return graphClock_.Get() == static_cast<const IReferenceClock*>(&clockPart_);
}

// More channels than the device takes are refused, so a decoder offering a mix gives that instead.
HRESULT AudioRenderer::PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type)
{
    const HRESULT hr = MemoryRenderer::PinCheckMediaType(pin, type);
    if (hr != S_OK) return hr;
    const std::optional<WaveFormat> sound = WaveFormat::Parse(type);
    return !sound || sound->channels <= std::max(2, SoundDeviceChannels()) ? S_OK : S_FALSE;
}

HRESULT AudioRenderer::PinConnected(Pin& pin)
{
    const AM_MEDIA_TYPE type = pin.ConnectedType();
    const unsigned channels = Read16(type.format, 2);
    const unsigned rate = Read32(type.format, 4);
    const unsigned bits = Read16(type.format, 14);
    bitsPerSample_ = static_cast<int>(bits);
    channels_ = static_cast<int>(channels);
    sampleRate_ = static_cast<int>(rate);
    floatSamples_ = type.subtype == MEDIASUBTYPE_IEEE_FLOAT;
    // The device is opened only on the GUI thread, where Qt's audio objects live.
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->thread() != QThread::currentThread() || channels == 0 || rate == 0) return S_OK;
    QAudioFormat format;
    format.setChannelCount(static_cast<int>(channels));
    format.setSampleRate(static_cast<int>(rate));
    if (floatSamples_ && bits == 32) format.setSampleFormat(QAudioFormat::Float);
    else if (bits == 16) format.setSampleFormat(QAudioFormat::Int16);
    else if (bits == 32) format.setSampleFormat(QAudioFormat::Int32);
    else if (bits == 8) format.setSampleFormat(QAudioFormat::UInt8);
    else return S_OK;
    std::unique_ptr<SoundOutput> output;
    if (opener_) output = opener_(format);
    else if (HasSoundDevice()) output = SoundOutput::Open(format);
    {
        std::lock_guard lock(outputMutex_);
        std::swap(output_, output);
        pending_.clear();
        placedRun_ = false;
    }
    output.reset();  // an earlier device ends outside the lock: its thread is waited for
    return S_OK;
}

void AudioRenderer::PinDisconnected(Pin& pin)
{
    std::unique_ptr<SoundOutput> gone;
    {
        std::lock_guard lock(outputMutex_);
        gone = std::move(output_);
        pending_.clear();
    }
    gone.reset();
    MemoryRenderer::PinDisconnected(pin);
}

double AudioRenderer::Gain() const { return VolumeToGain(Volume()); }

void* AudioRenderer::QueryExtraInterface(REFIID riid)
{
    if (riid == IReferenceClock::kIid) return static_cast<IReferenceClock*>(&clockPart_);
    if (riid == IReferenceClockWait::kIid) return static_cast<IReferenceClockWait*>(&clockPart_);
    return MemoryRenderer::QueryExtraInterface(riid);
}

void AudioRenderer::Present(const Frame& frame)
{
    consumed_ += frame.stop > frame.start ? frame.stop - frame.start : 0;
    consumedBytes_ += frame.data.size();
    lastStop_ = std::max(lastStop_.load(), frame.stop);
    std::vector<char> bytes(frame.data.begin(), frame.data.end());
    ApplyGain(bytes, bitsPerSample_, floatSamples_, Gain());
    {
        std::lock_guard lock(outputMutex_);
        if (output_) {
            Pending block{std::move(bytes), frame.start, frame.mediaTime};
            // A block presented while paused (the cued one) waits for the run, whose start places it.
            if (State() == State_Running) PlaceLocked(std::move(block));
            else pending_.push_back(std::move(block));
            return;
        }
    }
    // The silent sink: the block is consumed now, when it fell due by the clock.
    NotifyHeard(ClockTime(), frame.mediaTime, bytes.data(), bytes.size());
}

void AudioRenderer::PlaceLocked(Pending block)
{
    std::optional<std::int64_t> at;
    bool placed = false;
    // A block without a usable time (a decoder's last frames can come untimed) follows what is
    // queued instead.
    constexpr REFERENCE_TIME kLongest = kUnitsPerSecond * 3600 * 24 * 365;
    const bool timed = block.start > -kLongest && block.start < kLongest;
    if (timed && RunsOnOwnClock()) {
        std::lock_guard lock(clockMutex_);
        if (deviceClock_.Started()) {
            const REFERENCE_TIME deviceTime = deviceClock_.DeviceTimeAt(RunStart() + block.start);
            at = deviceTime * output_->BytesPerSecond() / kUnitsPerSecond;
            placed = true;
        }
    }
    if (placed) {
        placedRunStart_ = RunStart();
        placedRun_ = true;
    }
    PcmQueue::StartNotice notice;
    bool observing = false;
    {
        std::lock_guard lock(observerMutex_);
        observing = observer_ != nullptr;
    }
    if (observing) {
        // When the device reaches the block, tell the observer when it sounds by the clock.
        auto data = std::make_shared<std::vector<char>>(block.bytes);
        const std::int64_t perSecond = output_->BytesPerSecond();
        const REFERENCE_TIME mediaTime = block.mediaTime;
        notice = [this, data, perSecond, mediaTime](std::int64_t deviceByte, std::size_t dropped) {
            if (perSecond <= 0 || dropped >= data->size()) return;
            REFERENCE_TIME origin = 0;
            {
                std::lock_guard lock(clockMutex_);
                origin = deviceClock_.ClockTimeAt(0);
            }
            const REFERENCE_TIME sounds = origin + deviceByte * kUnitsPerSecond / perSecond;
            const REFERENCE_TIME skipped = static_cast<REFERENCE_TIME>(dropped) * kUnitsPerSecond / perSecond;
            NotifyHeard(sounds, mediaTime + skipped, data->data() + dropped, data->size() - dropped);
        };
    }
    output_->Place(block.bytes.data(), block.bytes.size(), at, std::move(notice));
}

REFERENCE_TIME AudioRenderer::DeviceLead() const
{
    if (!RunsOnOwnClock()) return 0;
    std::lock_guard lock(outputMutex_);
    if (!output_) return 0;
    const auto reading = output_->Reading();
    const REFERENCE_TIME unplayed = reading ? std::max<REFERENCE_TIME>(0, output_->WrittenTime() - reading->played) : 0;
    // The device takes blocks a period ahead of what it plays; a block must be queued before that.
    return std::clamp<REFERENCE_TIME>(unplayed + 120 * kMs, 150 * kMs, 1500 * kMs);
}

HRESULT AudioRenderer::OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start)
{
    if (from == State_Stopped && to != State_Stopped) {
        consumed_ = 0;
        consumedBytes_ = 0;
        lastStop_ = 0;
    }
    {
        std::lock_guard lock(outputMutex_);
        if (output_) {
            if (to == State_Running) {
                {
                    std::lock_guard clockLock(clockMutex_);
                    deviceClock_.Release(MonotonicNow());
                }
                // Blocks placed for the run before a pause move with the new start.
                if (placedRun_ && start != placedRunStart_)
                    output_->Shift((start - placedRunStart_) * output_->BytesPerSecond() / kUnitsPerSecond);
                placedRunStart_ = start;
                output_->Resume();
                std::vector<Pending> waiting = std::move(pending_);
                pending_.clear();
                for (Pending& block : waiting) PlaceLocked(std::move(block));
            } else {
                // Paused or stopped, the device stops and its clock stands with it.
                output_->Suspend();
                {
                    std::lock_guard clockLock(clockMutex_);
                    deviceClock_.Hold();
                }
                if (to == State_Stopped) {
                    output_->Clear();
                    pending_.clear();
                    placedRun_ = false;
                }
            }
        }
    }
    return MemoryRenderer::OnStateChange(from, to, start);
}

HRESULT AudioRenderer::PinBeginFlush(Pin& pin)
{
    flushing_ = true;
    consumed_ = 0;  // a seek starts the count again
    consumedBytes_ = 0;
    {
        std::lock_guard lock(outputMutex_);
        if (output_) output_->Clear();  // sound from before the seek is not played after it
        pending_.clear();
    }
    return MemoryRenderer::PinBeginFlush(pin);
}

HRESULT AudioRenderer::PinEndFlush(Pin& pin)
{
    lastStop_ = 0;
    flushing_ = false;
    return MemoryRenderer::PinEndFlush(pin);
}

HRESULT AudioRenderer::PinEndOfStream(Pin& pin)
{
    // Handed to the device ahead of time, the last block has not sounded yet when the scheduling
    // underneath would report the end: wait until it has, by the clock itself.
    const REFERENCE_TIME end = lastStop_.load();
    if (end > 0 && PlaysToDevice() && RunsOnOwnClock()) {
        for (;;) {
            const FILTER_STATE state = State();
            if (state == State_Stopped || flushing_) break;
            if (state == State_Running && ClockTime() >= RunStart() + end) break;
            if (state == State_Running) WaitForClockTime(RunStart() + end, 5);
            else std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return MemoryRenderer::PinEndOfStream(pin);
}

REFERENCE_TIME AudioRenderer::ClockTime()
{
    const REFERENCE_TIME now = MonotonicNow();
    std::optional<PlayedReading> reading;
    {
        std::lock_guard lock(outputMutex_);
        if (output_) reading = output_->Reading();
    }
    REFERENCE_TIME moved = 0;
    REFERENCE_TIME result = 0;
    {
        std::lock_guard lock(clockMutex_);
        // With a device, what it has played; with the silent sink, the system's monotonic clock.
        const REFERENCE_TIME before = deviceClock_.Started() ? deviceClock_.Origin() : 0;
        const REFERENCE_TIME t = reading ? deviceClock_.Read(now, *reading) : now;
        if (reading && before != 0) moved = deviceClock_.Origin() - before;
        lastClockTime_ = std::max(lastClockTime_, t);
        result = lastClockTime_;
    }
    if (moved != 0) {
        // The device's timeline moved under the clock: queued blocks keep their clock times.
        std::lock_guard lock(outputMutex_);
        if (output_) output_->Shift(-moved * output_->BytesPerSecond() / kUnitsPerSecond);
    }
    return result;
}

bool AudioRenderer::WaitForClockTime(REFERENCE_TIME target, DWORD maxWaitMs)
{
    const REFERENCE_TIME now = ClockTime();
    if (now >= target) return true;
    const auto left = std::chrono::microseconds((target - now) / 10);
    const auto cap = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::milliseconds(maxWaitMs));
    std::this_thread::sleep_for(std::min(left, cap));
    return ClockTime() >= target;
}

HRESULT AudioRenderer::ClockPart::GetTime(REFERENCE_TIME* time)
{
    if (time == nullptr) return E_POINTER;
    *time = renderer.ClockTime();
    return S_OK;
}

HRESULT AudioRenderer::ClockPart::WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs)
{
    return renderer.WaitForClockTime(target, maxWaitMs) ? S_OK : S_FALSE;
}

}  // namespace kestrine::platform
