#pragma once
// Decoded PCM to the default sound device. The streaming thread pushes each sample as it falls due;
// the device pulls from a small queue on the GUI thread, and plays silence when the queue runs dry
// (paused, or between seeks) so the device never stalls.
#include <QAudioFormat>
#include <QIODevice>

#include <deque>
#include <memory>
#include <mutex>

class QAudioSink;

namespace kestrine::platform {

class PcmQueue final : public QIODevice {
public:
    void Push(const char* data, std::size_t size);
    void Clear();
    std::size_t Queued() const;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    mutable std::mutex mutex_;
    std::deque<char> bytes_;
};

class SoundOutput {
public:
    // Null when there is no output device or it cannot play the format. Only on the GUI thread.
    static std::unique_ptr<SoundOutput> Open(const QAudioFormat& format);
    ~SoundOutput();
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;

    // Any thread.
    void Push(const char* data, std::size_t size) { queue_.Push(data, size); }
    void Clear() { queue_.Clear(); }

private:
    SoundOutput() = default;
    PcmQueue queue_;
    std::unique_ptr<QAudioSink> sink_;
};

// Whether a default output device exists (CI has none; the renderer then uses its silent sink).
bool HasSoundDevice();

}  // namespace kestrine::platform
