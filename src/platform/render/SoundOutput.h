#pragma once
// Decoded PCM to the default sound device. The streaming thread pushes blocks of samples, each
// placed at the byte of the device's stream where it has to sound (or straight after what is
// queued); the device pulls from the queue on a thread of its own, so a busy GUI thread never
// starves it, and gets silence wherever nothing is placed (paused, between seeks, before a
// block's place), so it never stalls and its count of bytes played stays a clock.
#include "platform/com/Types.h"
#include "platform/render/AudioClock.h"

#include <QAudioFormat>
#include <QIODevice>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QTimer;

namespace kestrine::platform {

class DeviceThread;

class PcmQueue final : public QIODevice {
public:
    // Called on the reading thread when a block starts to be read: the device byte its first
    // remaining byte lands on, and how many of its leading bytes were dropped as too late.
    using StartNotice = std::function<void(std::int64_t deviceByte, std::size_t dropped)>;

    // frameBytes: size of one frame (all channels); tolerance: how far, in bytes, a block may be
    // off its place and still be played joined to what came before rather than cut or spaced.
    explicit PcmQueue(std::size_t frameBytes = 1, std::int64_t tolerance = 0);

    // Appends a block after what is queued.
    void Push(const char* data, std::size_t size) { Place(data, size, std::nullopt, {}); }
    // Queues a block to sound from device byte `at` (nullopt: after what is queued).
    void Place(const char* data, std::size_t size, std::optional<std::int64_t> at, StartNotice notice);
    void Clear();
    // Moves every placed block by delta bytes (the run they were placed for started later).
    void Shift(std::int64_t delta);
    std::size_t Queued() const;
    // Bytes handed to the device so far, silence included: the device byte the next read starts at.
    std::int64_t ReadSoFar() const;

    // Always unbuffered: a read-ahead buffer would take silence from the timeline before a block
    // placed there arrives, and count bytes as handed to the device that it has not taken.
    bool open(OpenMode mode) override { return QIODevice::open(mode | QIODevice::Unbuffered); }
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

    // Runs on the reading thread after each read (the output takes its device readings there).
    std::function<void()> afterRead;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    struct Block {
        std::vector<char> bytes;
        std::optional<std::int64_t> at;
        StartNotice notice;
        std::size_t used = 0;
    };
    std::int64_t Aligned(std::int64_t bytes) const;

    const std::size_t frameBytes_;
    const std::int64_t tolerance_;
    mutable std::mutex mutex_;
    std::deque<Block> blocks_;
    std::size_t queued_ = 0;
    std::int64_t read_ = 0;
};

// What the output needs of a sound device: Qt's audio sink, or a stand-in that plays to nowhere.
// Made, called and destroyed on the output's own thread.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    // Starts pulling from source (pull mode: the device reads as it needs).
    virtual void Start(QIODevice* source) = 0;
    virtual void Stop() = 0;
    virtual void Suspend() = 0;
    virtual void Resume() = 0;
    // Device time played since Start, in microseconds.
    virtual qint64 ProcessedUSecs() const = 0;
};

class SoundOutput {
public:
    // Null when there is no output device or it cannot play the format. Only on the GUI thread.
    static std::unique_ptr<SoundOutput> Open(const QAudioFormat& format);
    // Over the device makeSink gives (a stand-in in tests), made on the output's own thread.
    using SinkMaker = std::function<std::unique_ptr<SoundSink>()>;
    static std::unique_ptr<SoundOutput> Over(SinkMaker makeSink, const QAudioFormat& format);
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Any thread.
    void Push(const char* data, std::size_t size) { queue_->Push(data, size); }
    void Place(const char* data, std::size_t size, std::optional<std::int64_t> at, PcmQueue::StartNotice notice)
    {
        queue_->Place(data, size, at, std::move(notice));
    }
    void Clear() { queue_->Clear(); }
    void Shift(std::int64_t delta) { queue_->Shift(delta); }
    // Stops and restarts the device's playing (queued sound stays); done on the device's thread.
    void Suspend();
    void Resume();

    // The latest reading of what the device has played, taken on the device's thread; nullopt
    // before the device has been read.
    std::optional<PlayedReading> Reading() const;
    // Device time handed to the device so far (played or still in its buffers).
    REFERENCE_TIME WrittenTime() const;
    std::int64_t BytesPerSecond() const { return bytesPerSecond_; }
    std::size_t FrameBytes() const { return frameBytes_; }

private:
    SoundOutput(std::size_t frameBytes, std::int64_t bytesPerSecond);
    void TakeReading();  // device thread

    const std::size_t frameBytes_;
    const std::int64_t bytesPerSecond_;
    // Its work never waits for a lock a caller may hold (it takes only the queue's, the readings'
    // and the renderer's clock and observer locks), so calls may wait for it holding theirs.
    std::unique_ptr<DeviceThread> thread_;
    // Made, used and destroyed on thread_ (the queue is filled from any thread through its lock).
    std::unique_ptr<PcmQueue> queue_;
    std::unique_ptr<SoundSink> sink_;
    std::unique_ptr<QTimer> readingTimer_;
    mutable std::mutex readingMutex_;
    std::optional<PlayedReading> reading_;
};

// Whether a default output device exists (CI has none; the renderer then uses its silent sink).
bool HasSoundDevice();
// The most channels the default output device takes; 2 when there is none (the silent sink).
int SoundDeviceChannels();

// Monotonic system time in 100 ns units, the time base of readings and of the silent sink's clock.
REFERENCE_TIME MonotonicNow();

}  // namespace kestrine::platform
