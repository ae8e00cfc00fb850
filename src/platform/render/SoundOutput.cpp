#include "platform/render/SoundOutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace kestrine::platform {

void PcmQueue::Push(const char* data, std::size_t size)
{
    std::lock_guard lock(mutex_);
    bytes_.insert(bytes_.end(), data, data + size);
}

void PcmQueue::Clear()
{
    std::lock_guard lock(mutex_);
    bytes_.clear();
}

std::size_t PcmQueue::Queued() const
{
    std::lock_guard lock(mutex_);
    return bytes_.size();
}

qint64 PcmQueue::bytesAvailable() const { return static_cast<qint64>(Queued()) + QIODevice::bytesAvailable(); }

qint64 PcmQueue::readData(char* data, qint64 maxSize)
{
    if (maxSize <= 0) return 0;
    const auto wanted = static_cast<std::size_t>(maxSize);
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(wanted, bytes_.size());
    std::copy_n(bytes_.begin(), n, data);
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
    std::memset(data + n, 0, wanted - n);  // silence keeps the device running
    return maxSize;
}

bool HasSoundDevice() { return !QMediaDevices::defaultAudioOutput().isNull(); }

std::unique_ptr<SoundOutput> SoundOutput::Open(const QAudioFormat& format)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !format.isValid() || !device.isFormatSupported(format)) return nullptr;
    std::unique_ptr<SoundOutput> out(new SoundOutput());
    out->queue_.open(QIODevice::ReadOnly);
    out->sink_ = std::make_unique<QAudioSink>(device, format);
    // A short device buffer keeps the sound within a frame or so of the picture.
    out->sink_->setBufferSize(format.bytesForDuration(40'000));
    out->sink_->start(&out->queue_);
    return out;
}

SoundOutput::~SoundOutput()
{
    if (sink_) sink_->stop();
}

}  // namespace kestrine::platform
