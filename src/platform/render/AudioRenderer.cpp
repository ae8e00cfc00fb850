#include "platform/render/AudioRenderer.h"

#include "platform/graph/Pin.h"
#include "platform/render/AudioVolume.h"
#include "platform/render/SoundOutput.h"

#include <QAudioFormat>
#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <cstring>
#include <vector>
#include <thread>

namespace kestrine::platform {

AudioRenderer::AudioRenderer() : MemoryRenderer(MEDIATYPE_Audio, {MEDIASUBTYPE_PCM, MEDIASUBTYPE_IEEE_FLOAT}) {}

AudioRenderer::~AudioRenderer() = default;

bool AudioRenderer::PlaysToDevice() const
{
    std::lock_guard lock(outputMutex_);
    return output_ != nullptr;
}

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

}  // namespace

HRESULT AudioRenderer::PinConnected(Pin& pin)
{
    const AM_MEDIA_TYPE type = pin.ConnectedType();
    const unsigned channels = Read16(type.format, 2);
    const unsigned rate = Read32(type.format, 4);
    const unsigned bits = Read16(type.format, 14);
    bitsPerSample_ = static_cast<int>(bits);
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
    if (!HasSoundDevice()) return S_OK;
    auto output = SoundOutput::Open(format);
    std::lock_guard lock(outputMutex_);
    output_ = std::move(output);
    return S_OK;
}

void AudioRenderer::PinDisconnected(Pin& pin)
{
    {
        std::lock_guard lock(outputMutex_);
        output_.reset();
    }
    MemoryRenderer::PinDisconnected(pin);
}

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
    std::lock_guard lock(outputMutex_);
    if (!output_) return;
    std::vector<char> bytes(frame.data.begin(), frame.data.end());
    ApplyGain(bytes, bitsPerSample_, floatSamples_, Gain());
    output_->Push(bytes.data(), bytes.size());
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
    {
        std::lock_guard lock(outputMutex_);
        if (output_) output_->Clear();  // sound from before the seek is not played after it
    }
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
