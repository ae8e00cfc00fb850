#include "platform/render/SoundOutput.h"

#include "platform/render/DeviceThread.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <tuple>

namespace kestrine::platform {

REFERENCE_TIME MonotonicNow()
{
    return std::chrono::duration_cast<std::chrono::duration<REFERENCE_TIME, std::ratio<1, kUnitsPerSecond>>>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PcmQueue::PcmQueue(std::size_t frameBytes, std::int64_t tolerance)
    : frameBytes_(std::max<std::size_t>(frameBytes, 1)), tolerance_(std::max<std::int64_t>(tolerance, 0))
{
}

std::int64_t PcmQueue::Aligned(std::int64_t bytes) const
{
    const auto frame = static_cast<std::int64_t>(frameBytes_);
    return bytes - bytes % frame;
}

void PcmQueue::Place(const char* data, std::size_t size, std::optional<std::int64_t> at, StartNotice notice)
{
    if (size == 0) return;
    Block block;
    block.bytes.assign(data, data + size);
    if (at) block.at = Aligned(*at);
    block.notice = std::move(notice);
    std::lock_guard lock(mutex_);
    queued_ += size;
    blocks_.push_back(std::move(block));
}

void PcmQueue::Clear()
{
    std::lock_guard lock(mutex_);
    blocks_.clear();
    queued_ = 0;
}

void PcmQueue::Shift(std::int64_t delta)
{
    const std::int64_t aligned = Aligned(delta);
    std::lock_guard lock(mutex_);
    for (Block& b : blocks_)
        if (b.at && b.used == 0) *b.at += aligned;
}

std::size_t PcmQueue::Queued() const
{
    std::lock_guard lock(mutex_);
    return queued_;
}

std::int64_t PcmQueue::ReadSoFar() const
{
    std::lock_guard lock(mutex_);
    return read_;
}

qint64 PcmQueue::bytesAvailable() const { return static_cast<qint64>(Queued()) + QIODevice::bytesAvailable(); }

qint64 PcmQueue::readData(char* data, qint64 maxSize)
{
    if (maxSize <= 0) return 0;
    const auto wanted = static_cast<std::size_t>(maxSize);
    std::vector<std::tuple<StartNotice, std::int64_t, std::size_t>> started;
    {
        std::lock_guard lock(mutex_);
        std::size_t pos = 0;
        while (pos < wanted && !blocks_.empty()) {
            Block& b = blocks_.front();
            const std::int64_t here = read_ + static_cast<std::int64_t>(pos);
            if (b.used == 0) {
                if (!b.at) b.at = here;
                const std::int64_t early = *b.at - here;
                if (early > tolerance_) {
                    // Not its time yet: silence up to its place.
                    const auto gap = static_cast<std::size_t>(std::min<std::int64_t>(early, static_cast<std::int64_t>(wanted - pos)));
                    std::memset(data + pos, 0, gap);
                    pos += gap;
                    continue;
                }
                if (early < -tolerance_) {
                    // Too late for its place: what should already have sounded is dropped, so the
                    // rest still sounds when it should.
                    const auto late = static_cast<std::size_t>(Aligned(-early));
                    const std::size_t dropped = std::min(late, b.bytes.size());
                    b.used = dropped;
                    queued_ -= dropped;
                    if (b.used >= b.bytes.size()) {
                        blocks_.pop_front();
                        continue;
                    }
                }
                if (b.notice) started.emplace_back(b.notice, here, b.used);
            }
            const std::size_t n = std::min(b.bytes.size() - b.used, wanted - pos);
            std::memcpy(data + pos, b.bytes.data() + b.used, n);
            b.used += n;
            pos += n;
            queued_ -= n;
            if (b.used >= b.bytes.size()) blocks_.pop_front();
        }
        std::memset(data + pos, 0, wanted - pos);  // silence keeps the device running
        read_ += static_cast<std::int64_t>(wanted);
    }
    for (auto& [notice, at, dropped] : started) notice(at, dropped);
    if (afterRead) afterRead();
    return maxSize;
}

bool HasSoundDevice() { return !QMediaDevices::defaultAudioOutput().isNull(); }

int SoundDeviceChannels()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    return device.isNull() ? 2 : std::max(device.maximumChannelCount(), 1);
}

SoundOutput::SoundOutput(std::size_t frameBytes, std::int64_t bytesPerSecond)
    : frameBytes_(frameBytes), bytesPerSecond_(bytesPerSecond)
{
}

namespace {

class QtSoundSink final : public SoundSink {
public:
    QtSoundSink(const QAudioDevice& device, const QAudioFormat& format) : sink_(device, format) {}
    void Start(QIODevice* source) override { sink_.start(source); }
    void Stop() override { sink_.stop(); }
    void Suspend() override
    {
        if (sink_.state() == QAudio::ActiveState || sink_.state() == QAudio::IdleState) sink_.suspend();
    }
    void Resume() override
    {
        if (sink_.state() == QAudio::SuspendedState) sink_.resume();
    }
    // Qt's sound-server sink reports what the server has played, net of its latency.
    qint64 ProcessedUSecs() const override { return sink_.processedUSecs(); }

private:
    QAudioSink sink_;
};

}  // namespace

std::unique_ptr<SoundOutput> SoundOutput::Open(const QAudioFormat& format)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !format.isValid() || !device.isFormatSupported(format)) return nullptr;
    // The device keeps its own buffer size: sound is placed on the device's stream where it has to
    // sound and the clock follows what was played, so the buffer's depth costs no sync, and a
    // buffer too short for the sound server starves it.
    return Over([device, format] { return std::make_unique<QtSoundSink>(device, format); }, format);
}

std::unique_ptr<SoundOutput> SoundOutput::Over(SinkMaker makeSink, const QAudioFormat& format)
{
    if (!makeSink || !format.isValid()) return nullptr;
    std::unique_ptr<SoundOutput> out(new SoundOutput(static_cast<std::size_t>(format.bytesPerFrame()), format.bytesForDuration(1'000'000)));
    // A thread of its own: Qt's sink pulls on timers of the thread it lives on, so on the GUI
    // thread a stalled window (a modal dialog, a long call) would leave the device without sound.
    out->thread_ = std::make_unique<DeviceThread>(QStringLiteral("sound device"));
    SoundOutput* self = out.get();
    self->thread_->Run([self, &makeSink] {
        // Blocks within 10 ms of their place are joined to what sounds before them rather than
        // spaced or cut, so rounding never makes a click.
        self->queue_ = std::make_unique<PcmQueue>(self->frameBytes_, self->bytesPerSecond_ / 100);
        self->queue_->open(QIODevice::ReadOnly);
        self->sink_ = makeSink();
        if (!self->sink_) return;
        self->queue_->afterRead = [self] { self->TakeReading(); };
        // Readings also between the device's pulls, so the clock has fresh ones to follow.
        self->readingTimer_ = std::make_unique<QTimer>();
        self->readingTimer_->setInterval(10);
        QObject::connect(self->readingTimer_.get(), &QTimer::timeout, [self] { self->TakeReading(); });
        self->readingTimer_->start();
        self->sink_->Start(self->queue_.get());
    });
    if (!out->sink_) return nullptr;
    return out;
}

SoundOutput::~SoundOutput()
{
    if (!thread_) return;
    thread_->Run([this] {
        if (queue_) queue_->afterRead = nullptr;  // a last pull while the device stops reads nothing of ours
        readingTimer_.reset();
        if (sink_) sink_->Stop();
        sink_.reset();
        queue_.reset();
    });
    thread_.reset();
}

void SoundOutput::TakeReading()
{
    if (!sink_) return;
    // What the device has played, which it cannot have done beyond what it was given.
    const REFERENCE_TIME played = std::min<REFERENCE_TIME>(sink_->ProcessedUSecs() * 10, WrittenTime());
    std::lock_guard lock(readingMutex_);
    const REFERENCE_TIME last = reading_ ? reading_->played : 0;
    reading_ = PlayedReading{MonotonicNow(), std::max(played, last)};
}

std::optional<PlayedReading> SoundOutput::Reading() const
{
    std::lock_guard lock(readingMutex_);
    return reading_;
}

REFERENCE_TIME SoundOutput::WrittenTime() const
{
    if (bytesPerSecond_ <= 0) return 0;
    return queue_->ReadSoFar() * kUnitsPerSecond / bytesPerSecond_;
}

void SoundOutput::Suspend()
{
    thread_->Run([this] { sink_->Suspend(); });
}

void SoundOutput::Resume()
{
    thread_->Run([this] { sink_->Resume(); });
}

}  // namespace kestrine::platform
