#pragma once
// A stand-in sound device for machines without one: it pulls from the output's queue in 5 ms
// ticks at real-time pace, keeps a buffer of its own (so what it pulls sounds `latency` later),
// reports what it has played in 10 ms steps, stops while suspended, and notes, by the system's
// monotonic clock, when each tone burst it plays really sounds: the truth the renderer's own
// bookkeeping is checked against. Like a real device it runs dry when its ticks come late (the
// thread it lives on is held up) and counts the silence it had to make up.
#include "platform/render/SoundOutput.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace kestrine::platform::testing {

class SimulatedSoundSink final : public SoundSink {
public:
    struct Shared {
        std::mutex mutex;
        std::vector<double> toneSounded;  // steady-clock seconds each burst began to sound
        int suspends = 0;
        int underruns = 0;  // 10 ms blocks of silence made up because the device's own buffer ran dry
    };

    SimulatedSoundSink(int bytesPerSecond, int frameBytes, std::chrono::milliseconds latency, std::shared_ptr<Shared> shared)
        : bytesPerSecond_(bytesPerSecond), frameBytes_(frameBytes), latency_(latency), shared_(std::move(shared))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }

    void Start(QIODevice* source) override
    {
        source_ = source;
        last_ = Now();
        running_ = true;
        Tick();  // its buffer filled before it starts to play
        timer_.start(5);
    }
    void Stop() override
    {
        timer_.stop();
        running_ = false;
    }
    void Suspend() override
    {
        Tick();
        running_ = false;
        std::lock_guard lock(shared_->mutex);
        ++shared_->suspends;
    }
    void Resume() override
    {
        last_ = Now();
        running_ = true;
    }
    qint64 ProcessedUSecs() const override
    {
        const double played = playedSeconds_;
        return static_cast<qint64>(played * 100) * 10'000;  // 10 ms steps, as a device that plays in periods
    }

private:
    static double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

    void Tick()
    {
        if (!running_ || source_ == nullptr) return;
        const double now = Now();
        playedSeconds_ += now - last_;
        last_ = now;
        if (const auto dry = static_cast<std::int64_t>(playedSeconds_ * bytesPerSecond_) - pulled_; dry > 0) {
            const std::int64_t block = std::max(bytesPerSecond_ / 100, 1);
            std::lock_guard lock(shared_->mutex);
            shared_->underruns += static_cast<int>((dry + block - 1) / block);
        }
        // Sound pulled earlier sounds as play passes it.
        while (!onsets_.empty() && onsets_.front() <= playedSeconds_) {
            const double sounded = now - (playedSeconds_ - onsets_.front());
            onsets_.pop_front();
            std::lock_guard lock(shared_->mutex);
            shared_->toneSounded.push_back(sounded);
        }
        // Keep the device's own buffer full: pulled up to played + latency.
        const auto wanted = static_cast<std::int64_t>((playedSeconds_ + std::chrono::duration<double>(latency_).count()) * bytesPerSecond_);
        std::int64_t n = wanted - pulled_;
        n -= n % frameBytes_;
        if (n <= 0) return;
        std::vector<char> bytes(static_cast<std::size_t>(n));
        const qint64 got = source_->read(bytes.data(), n);
        for (qint64 i = 0; i + frameBytes_ <= got; i += frameBytes_) {
            std::int16_t v;
            std::memcpy(&v, bytes.data() + i, 2);
            const bool loud = std::abs(int(v)) >= 6554;
            const double at = static_cast<double>(pulled_ + i) / bytesPerSecond_;
            if (loud && at - lastLoud_ > 0.3) onsets_.push_back(at);
            if (loud) lastLoud_ = at;
        }
        pulled_ += got;
    }

    const int bytesPerSecond_;
    const int frameBytes_;
    const std::chrono::milliseconds latency_;
    std::shared_ptr<Shared> shared_;
    QTimer timer_;
    QIODevice* source_ = nullptr;
    bool running_ = false;
    double last_ = 0;
    double playedSeconds_ = 0;
    std::int64_t pulled_ = 0;
    double lastLoud_ = -1;
    std::deque<double> onsets_;  // device seconds of pulled burst starts not yet sounded
};

}  // namespace kestrine::platform::testing
