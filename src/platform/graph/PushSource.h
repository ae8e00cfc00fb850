#pragma once
// Base of source filters that push samples from worker threads: one output pin per stream,
// seeking by flush and restart, end of stream on every pin when the data runs out.
// A reader thread reads in file order and hands each sample to its pin's own delivery thread
// through a bounded queue, so a paused renderer holding its first sample never starves the others.
#include "platform/graph/Filter.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

namespace kestrine::platform {

class PushSource : public Filter<IMediaPosition, IAMFilterMiscFlags> {
public:
    struct Outgoing {
        std::size_t stream = 0;
        ComPtr<IMediaSample> sample;  // times in media time (from the start of the file)
    };

    ~PushSource() override;

    // IMediaPosition: the graph seeks its sources through it.
    HRESULT get_Duration(REFTIME* length) override;
    HRESULT put_CurrentPosition(REFTIME time) override;
    HRESULT get_CurrentPosition(REFTIME* time) override;
    HRESULT get_StopTime(REFTIME* time) override;
    HRESULT put_StopTime(REFTIME) override { return E_NOTIMPL; }
    HRESULT get_PrerollTime(REFTIME* time) override;
    HRESULT put_PrerollTime(REFTIME) override { return E_NOTIMPL; }
    HRESULT put_Rate(double rate) override { return rate == 1.0 ? S_OK : E_NOTIMPL; }
    HRESULT get_Rate(double* rate) override;
    HRESULT CanSeekForward(LONG* canSeek) override;
    HRESULT CanSeekBackward(LONG* canSeek) override;

    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

    // Media time the current segment starts at, in 100 ns units.
    REFERENCE_TIME SegmentStart() const { return segmentStart_.load(); }

protected:
    explicit PushSource(const CLSID& clsid);

    // Call from the derived class's constructor, once per stream, in stream order.
    Pin& AddStreamPin(std::u16string name) { return AddPin(PINDIR_OUTPUT, std::move(name)); }

    // Positions the reading so the next ReadNext gives what is needed to present time (a keyframe
    // at or before it; samples before time carry the preroll flag). Called only while no worker runs.
    virtual HRESULT SeekTo(REFERENCE_TIME time) = 0;
    // The next sample of any stream in send order, or nothing at the end.
    virtual std::optional<Outgoing> ReadNext() = 0;
    virtual REFERENCE_TIME MediaDuration() const = 0;

    // Derived destructors call this first, so the worker never runs into a half-destroyed object.
    void StopStreaming();

    HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;
    HRESULT PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type) override;

private:
    struct Lane;
    void StartWorker();
    void StopWorker();
    void Read();
    void Deliver(Lane& lane, Pin& pin);

    static constexpr std::size_t kLaneCapacity = 256;

    std::mutex controlMutex_;  // seeks and state changes, one at a time
    std::thread worker_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<REFERENCE_TIME> segmentStart_{0};
};

}  // namespace kestrine::platform
