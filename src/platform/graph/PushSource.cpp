#include "platform/graph/PushSource.h"

#include <cmath>
#include <vector>

namespace kestrine::platform {

struct PushSource::Lane {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<ComPtr<IMediaSample>> queue;  // an empty pointer marks the end of the stream
    bool quit = false;
    std::thread thread;
};

PushSource::PushSource(const CLSID& clsid) : Filter(clsid) {}

PushSource::~PushSource() { StopStreaming(); }

void PushSource::StopStreaming()
{
    std::lock_guard lock(controlMutex_);
    StopWorker();
}

HRESULT PushSource::get_Duration(REFTIME* length)
{
    if (length == nullptr) return E_POINTER;
    *length = static_cast<double>(MediaDuration()) / kUnitsPerSecond;
    return S_OK;
}

HRESULT PushSource::put_CurrentPosition(REFTIME time)
{
    if (!std::isfinite(time)) return E_INVALIDARG;
    const REFERENCE_TIME duration = MediaDuration();
    auto t = static_cast<REFERENCE_TIME>(std::llround(time * kUnitsPerSecond));
    if (t < 0) t = 0;
    if (t > duration) t = duration;

    std::lock_guard lock(controlMutex_);
    const bool streaming = State() != State_Stopped;
    if (streaming) {
        // Flushing releases a downstream filter that is holding a sample, so the worker can end.
        stopRequested_ = true;
        for (std::size_t i = 0; i < PinCount(); ++i) PinAt(i).DeliverBeginFlush();
        StopWorker();
        for (std::size_t i = 0; i < PinCount(); ++i) PinAt(i).DeliverEndFlush();
    }
    segmentStart_ = t;
    const HRESULT hr = SeekTo(t);
    if (streaming) StartWorker();
    return hr;
}

HRESULT PushSource::get_CurrentPosition(REFTIME* time)
{
    if (time == nullptr) return E_POINTER;
    *time = static_cast<double>(segmentStart_.load()) / kUnitsPerSecond;
    return S_OK;
}

HRESULT PushSource::get_StopTime(REFTIME* time) { return get_Duration(time); }

HRESULT PushSource::get_PrerollTime(REFTIME* time)
{
    if (time == nullptr) return E_POINTER;
    *time = 0;
    return S_OK;
}

HRESULT PushSource::get_Rate(double* rate)
{
    if (rate == nullptr) return E_POINTER;
    *rate = 1.0;
    return S_OK;
}

HRESULT PushSource::CanSeekForward(LONG* canSeek)
{
    if (canSeek == nullptr) return E_POINTER;
    *canSeek = OATRUE;
    return S_OK;
}

HRESULT PushSource::CanSeekBackward(LONG* canSeek) { return CanSeekForward(canSeek); }

HRESULT PushSource::OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME)
{
    std::lock_guard lock(controlMutex_);
    if (from == State_Stopped && to != State_Stopped) {
        SeekTo(segmentStart_);
        StartWorker();
    } else if (to == State_Stopped && from != State_Stopped) {
        stopRequested_ = true;
        for (std::size_t i = 0; i < PinCount(); ++i) PinAt(i).DeliverBeginFlush();
        StopWorker();
        for (std::size_t i = 0; i < PinCount(); ++i) PinAt(i).DeliverEndFlush();
    }
    return S_OK;
}

HRESULT PushSource::PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type)
{
    for (const AM_MEDIA_TYPE& offered : PinMediaTypes(pin))
        if (offered == type) return S_OK;
    return S_FALSE;
}

void PushSource::StartWorker()
{
    stopRequested_ = false;
    lanes_.clear();
    for (std::size_t i = 0; i < PinCount(); ++i) lanes_.push_back(std::make_unique<Lane>());
    for (std::size_t i = 0; i < lanes_.size(); ++i) {
        Lane& lane = *lanes_[i];
        Pin& pin = PinAt(i);
        lane.thread = std::thread([this, &lane, &pin] { Deliver(lane, pin); });
    }
    worker_ = std::thread([this] { Read(); });
}

void PushSource::StopWorker()
{
    stopRequested_ = true;
    for (auto& lane : lanes_) {
        std::lock_guard lock(lane->mutex);
        lane->quit = true;
    }
    for (auto& lane : lanes_) lane->changed.notify_all();
    if (worker_.joinable()) worker_.join();
    for (auto& lane : lanes_)
        if (lane->thread.joinable()) lane->thread.join();
    lanes_.clear();
}

void PushSource::Read()
{
    const REFERENCE_TIME start = segmentStart_;
    const auto hand = [&](std::size_t stream, ComPtr<IMediaSample> sample) {
        Lane& lane = *lanes_[stream];
        std::unique_lock lock(lane.mutex);
        lane.changed.wait(lock, [&] { return lane.quit || lane.queue.size() < kLaneCapacity; });
        if (lane.quit) return;
        lane.queue.push_back(std::move(sample));
        lane.changed.notify_all();
    };
    while (!stopRequested_) {
        std::optional<Outgoing> next = ReadNext();
        if (!next) break;
        if (next->stream >= lanes_.size()) continue;
        REFERENCE_TIME s = 0;
        REFERENCE_TIME e = 0;
        if (SUCCEEDED(next->sample->GetTime(&s, &e))) {
            s -= start;
            e -= start;
            next->sample->SetTime(&s, &e);
        }
        hand(next->stream, std::move(next->sample));
    }
    if (stopRequested_) return;
    for (std::size_t i = 0; i < lanes_.size(); ++i) hand(i, nullptr);
}

void PushSource::Deliver(Lane& lane, Pin& pin)
{
    pin.DeliverNewSegment(segmentStart_, MediaDuration(), 1.0);
    bool refused = false;
    for (;;) {
        ComPtr<IMediaSample> sample;
        {
            std::unique_lock lock(lane.mutex);
            lane.changed.wait(lock, [&] { return lane.quit || !lane.queue.empty(); });
            if (lane.quit) return;
            sample = std::move(lane.queue.front());
            lane.queue.pop_front();
            lane.changed.notify_all();
        }
        if (!sample) {
            if (!refused && pin.IsConnected()) pin.DeliverEndOfStream();
            return;
        }
        // A pin that refuses (flushing, stopped, gone) gets nothing more in this run.
        if (!refused && pin.IsConnected() && pin.Deliver(sample.Get()) != S_OK) refused = true;
    }
}

}  // namespace kestrine::platform
