#pragma once
// A renderer that presents into memory: it keeps the last presented sample and counts them.
// It schedules by the graph clock exactly as an on-screen renderer must (hold the first sample
// while paused, present each at its time while running, report end of stream when its last sample
// has played), so the graph's behaviour can be seen without a display or a sound device.
// On-screen renderers derive from it and override Present.
#include "platform/graph/Filter.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kestrine::platform {

class MemoryRenderer : public Filter<IAMFilterMiscFlags> {
public:
    struct Frame {
        std::vector<BYTE> data;
        REFERENCE_TIME start = 0;      // stream time, relative to the segment start
        REFERENCE_TIME stop = 0;
        REFERENCE_TIME mediaTime = 0;  // segment start + start: the position in the file
        bool syncPoint = false;
    };

    static inline constexpr CLSID kClsid = MakeGuid("{6B1E5D3A-2C47-4F80-9A13-7E5C0D4B8F21}");

    // Accepts samples of majorType whose subtype is in subtypes (empty: any subtype).
    MemoryRenderer(GUID majorType, std::vector<GUID> subtypes);
    ~MemoryRenderer() override;

    ULONG GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    // What is on show, and how many were shown; a dropped frame is neither.
    std::optional<Frame> LastPresented() const;
    std::uint64_t PresentedCount() const;
    // Running, a frame whose time has passed by more than its own length is not shown, so the
    // picture never trails the clock: on-screen video renderers do this.
    void SetDropsLateFrames(bool drops);
    std::uint64_t DroppedCount() const;
    // For tests: waits until PresentedCount() reaches count or timeoutMs passes; gives whether it did.
    bool WaitForPresentedCount(std::uint64_t count, int timeoutMs) const;
    // Whether end of stream was reported to the graph in the current segment.
    bool CompletedSegment() const;
    AM_MEDIA_TYPE ConnectedType() const;
    GUID MajorType() const { return majorType_; }
    // Called on the streaming thread with each sample as it is presented, for checks that need
    // every presentation rather than the last; it must be quick and must not call into the graph.
    void SetPresentedObserver(std::function<void(const Frame&)> observer);
    // Audio renderers answer IBasicAudio; these are its settings.
    LONG Volume() const { return audio_.volume.load(); }
    LONG Balance() const { return audio_.balance.load(); }

protected:
    void* QueryExtraInterface(REFIID riid) override;

    // Runs on the streaming thread when a sample is due. Must not wait for the GUI thread, which
    // may itself be waiting for this renderer to present its first sample.
    virtual void Present(const Frame&) {}
    // The same for a renderer that keeps the frame after the call, sharing its bytes rather than copying them.
    virtual void PresentKept(const std::shared_ptr<const Frame>& frame) { Present(*frame); }

    HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;
    HRESULT WaitPauseComplete(DWORD msTimeout) override;
    HRESULT PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type) override;
    HRESULT PinReceive(Pin&, IMediaSample* sample) override;
    HRESULT PinEndOfStream(Pin&) override;
    HRESULT PinBeginFlush(Pin&) override;
    HRESULT PinEndFlush(Pin&) override;
    HRESULT PinNewSegment(Pin&, REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    void PinDisconnected(Pin&) override;

private:
    enum class Wait { Due, Abandon };
    // Waits, with the lock held on entry and exit, until stream time due has come while running.
    Wait WaitUntilDue(std::unique_lock<std::mutex>& lock, REFERENCE_TIME due);
    // With the lock held on entry and exit; cue: the paused picture, held until the graph runs.
    void PresentLocked(std::unique_lock<std::mutex>& lock, Frame frame, bool cue);
    // With the lock held on entry and exit: whether a due frame is already too late to show.
    bool TooLateLocked(std::unique_lock<std::mutex>& lock, const Frame& frame);

    class AudioControl final : public ComPart<IBasicAudio> {
    public:
        using ComPart::ComPart;
        HRESULT put_Volume(LONG v) override;
        HRESULT get_Volume(LONG* v) override;
        HRESULT put_Balance(LONG b) override;
        HRESULT get_Balance(LONG* b) override;
        std::atomic<LONG> volume{0};
        std::atomic<LONG> balance{0};
    };

    const GUID majorType_;
    const std::vector<GUID> subtypes_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    FILTER_STATE state_ = State_Stopped;
    REFERENCE_TIME runStart_ = 0;
    bool flushing_ = false;
    bool cued_ = false;         // paused with a sample presented (or at end of stream)
    bool endOfStream_ = false;
    bool completed_ = false;
    REFERENCE_TIME lastStop_ = 0;
    REFERENCE_TIME segmentStart_ = 0;
    std::shared_ptr<const Frame> last_;
    std::uint64_t presented_ = 0;
    bool dropsLate_ = false;
    std::uint64_t dropped_ = 0;
    std::uint64_t generation_ = 0;  // bumped by flush and stop, so waits started before them give up
    AudioControl audio_{*IdentityUnknown()};
    std::mutex observerMutex_;
    std::shared_ptr<const std::function<void(const Frame&)>> observer_;
};

}  // namespace kestrine::platform
