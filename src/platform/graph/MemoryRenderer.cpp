#include "platform/graph/MemoryRenderer.h"

#include "platform/graph/EventCodes.h"
#include "platform/graph/MediaSample.h"
#include "platform/graph/ReferenceClocks.h"

#include <algorithm>
#include <chrono>

namespace kestrine::platform {

MemoryRenderer::MemoryRenderer(GUID majorType, std::vector<GUID> subtypes)
    : Filter(kClsid), majorType_(majorType), subtypes_(std::move(subtypes))
{
    AddPin(PINDIR_INPUT, u"In");
}

MemoryRenderer::~MemoryRenderer() = default;

void* MemoryRenderer::QueryExtraInterface(REFIID riid)
{
    if (riid == IBasicAudio::kIid && majorType_ == MEDIATYPE_Audio) return static_cast<IBasicAudio*>(&audio_);
    return nullptr;
}

HRESULT MemoryRenderer::AudioControl::put_Volume(LONG v)
{
    if (v < -10000 || v > 0) return E_INVALIDARG;
    volume = v;
    return S_OK;
}

HRESULT MemoryRenderer::AudioControl::get_Volume(LONG* v)
{
    if (v == nullptr) return E_POINTER;
    *v = volume;
    return S_OK;
}

HRESULT MemoryRenderer::AudioControl::put_Balance(LONG b)
{
    if (b < -10000 || b > 10000) return E_INVALIDARG;
    balance = b;
    return S_OK;
}

HRESULT MemoryRenderer::AudioControl::get_Balance(LONG* b)
{
    if (b == nullptr) return E_POINTER;
    *b = balance;
    return S_OK;
}

std::optional<MemoryRenderer::Frame> MemoryRenderer::LastPresented() const
{
    std::lock_guard lock(mutex_);
    return last_ ? std::optional<Frame>(*last_) : std::nullopt;
}

std::uint64_t MemoryRenderer::PresentedCount() const
{
    std::lock_guard lock(mutex_);
    return presented_;
}

void MemoryRenderer::SetDropsLateFrames(bool drops)
{
    std::lock_guard lock(mutex_);
    dropsLate_ = drops;
}

std::uint64_t MemoryRenderer::DroppedCount() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

bool MemoryRenderer::WaitForPresentedCount(std::uint64_t count, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return presented_ >= count; });
}

bool MemoryRenderer::CompletedSegment() const
{
    std::lock_guard lock(mutex_);
    return completed_;
}

AM_MEDIA_TYPE MemoryRenderer::ConnectedType() const { return PinAt(0).ConnectedType(); }

HRESULT MemoryRenderer::PinCheckMediaType(const Pin&, const AM_MEDIA_TYPE& type)
{
    if (type.majortype != majorType_) return S_FALSE;
    if (subtypes_.empty()) return S_OK;
    return std::find(subtypes_.begin(), subtypes_.end(), type.subtype) != subtypes_.end() ? S_OK : S_FALSE;
}

HRESULT MemoryRenderer::OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start)
{
    {
        std::lock_guard lock(mutex_);
        state_ = to;
        if (to == State_Running) runStart_ = start;
        if (to == State_Stopped) {
            cued_ = false;
            endOfStream_ = false;
            completed_ = false;
            ++generation_;
        }
        // Paused from running, the picture on show is the paused picture.
        if (from == State_Running && to == State_Paused) cued_ = true;
        if (from == State_Stopped && to != State_Stopped) {
            cued_ = false;
            endOfStream_ = false;
            completed_ = false;
        }
    }
    changed_.notify_all();
    return S_OK;
}

HRESULT MemoryRenderer::WaitPauseComplete(DWORD msTimeout)
{
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return state_ != State_Paused || cued_ || endOfStream_ || !PinAt(0).IsConnected(); };
    if (msTimeout == INFINITE) changed_.wait(lock, ready);
    else changed_.wait_for(lock, std::chrono::milliseconds(msTimeout), ready);
    return ready() ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

MemoryRenderer::Wait MemoryRenderer::WaitUntilDue(std::unique_lock<std::mutex>& lock, REFERENCE_TIME due)
{
    const std::uint64_t generation = generation_;
    for (;;) {
        if (flushing_ || state_ == State_Stopped || generation != generation_) return Wait::Abandon;
        if (state_ == State_Paused) {
            changed_.wait(lock);
            continue;
        }
        const ComPtr<IReferenceClock> clock = Clock();
        if (!clock) return Wait::Due;  // no clock: as fast as it comes
        const REFERENCE_TIME target = runStart_ + due;
        lock.unlock();
        const bool reached = WaitForClock(clock.Get(), target, 2);
        lock.lock();
        if (reached && state_ == State_Running && !flushing_ && generation == generation_) return Wait::Due;
    }
}

bool MemoryRenderer::TooLateLocked(std::unique_lock<std::mutex>& lock, const Frame& frame)
{
    if (!dropsLate_ || state_ != State_Running) return false;
    const ComPtr<IReferenceClock> clock = Clock();
    if (!clock) return false;
    // A frame without a usable length is taken to last as long as a frame of 25 per second.
    constexpr REFERENCE_TIME kUsualFrame = 400'000;
    const REFERENCE_TIME length = frame.stop > frame.start + 1 ? frame.stop - frame.start : kUsualFrame;
    const REFERENCE_TIME due = runStart_ + frame.start;
    lock.unlock();
    const REFERENCE_TIME now = ClockNow(clock.Get());
    lock.lock();
    return now - due > length;
}

void MemoryRenderer::PresentLocked(std::unique_lock<std::mutex>& lock, Frame frame, bool cue)
{
    const std::uint64_t generation = generation_;
    // Kept and presented without a copy: a 1280x720 picture is 3.5 MB.
    auto shown = std::make_shared<const Frame>(std::move(frame));
    lock.unlock();
    PresentKept(shown);
    std::shared_ptr<const std::function<void(const Frame&)>> observer;
    {
        std::lock_guard observing(observerMutex_);
        observer = observer_;
    }
    if (observer) (*observer)(*shown);
    lock.lock();
    // Counted, and a pause told it is cued, once the picture is in place, so whoever waits for it finds it.
    last_ = std::move(shown);
    ++presented_;
    if (cue && generation == generation_) cued_ = true;
    changed_.notify_all();
}

void MemoryRenderer::SetPresentedObserver(std::function<void(const Frame&)> observer)
{
    std::lock_guard lock(observerMutex_);
    observer_ = observer ? std::make_shared<const std::function<void(const Frame&)>>(std::move(observer)) : nullptr;
}

HRESULT MemoryRenderer::PinReceive(Pin&, IMediaSample* sample)
{
    std::unique_lock lock(mutex_);
    if (state_ == State_Stopped) return VFW_E_WRONG_STATE;
    if (flushing_ || endOfStream_) return S_FALSE;
    if (sample->IsPreroll() == S_OK) return S_OK;  // decoded only to reach a later frame

    Frame frame;
    sample->GetTime(&frame.start, &frame.stop);
    frame.mediaTime = segmentStart_ + frame.start;
    frame.syncPoint = sample->IsSyncPoint() == S_OK;
    lastStop_ = std::max(lastStop_, frame.stop);

    // The bytes are taken only for a frame that is shown: a late one costs no copy.
    if (state_ == State_Paused && !cued_) {
        // The paused picture: shown now, and held until the graph runs, flushes or stops.
        const REFERENCE_TIME start = frame.start;
        frame.data = TakeSampleBytes(sample);
        PresentLocked(lock, std::move(frame), true);
        return WaitUntilDue(lock, start) == Wait::Due ? S_OK : S_FALSE;
    }
    if (WaitUntilDue(lock, frame.start) == Wait::Abandon) return S_FALSE;
    if (TooLateLocked(lock, frame)) {
        ++dropped_;
        return S_OK;
    }
    frame.data = TakeSampleBytes(sample);
    PresentLocked(lock, std::move(frame), false);
    return S_OK;
}

HRESULT MemoryRenderer::PinEndOfStream(Pin&)
{
    std::unique_lock lock(mutex_);
    if (state_ == State_Stopped || flushing_ || endOfStream_) return S_OK;
    endOfStream_ = true;
    changed_.notify_all();  // a paused graph waiting for this renderer is done waiting
    if (WaitUntilDue(lock, lastStop_) == Wait::Abandon) return S_OK;
    if (completed_) return S_OK;
    completed_ = true;
    lock.unlock();
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    return S_OK;
}

HRESULT MemoryRenderer::PinBeginFlush(Pin&)
{
    {
        std::lock_guard lock(mutex_);
        flushing_ = true;
        ++generation_;
    }
    changed_.notify_all();
    return S_OK;
}

HRESULT MemoryRenderer::PinEndFlush(Pin&)
{
    {
        std::lock_guard lock(mutex_);
        flushing_ = false;
        cued_ = false;
        endOfStream_ = false;
        completed_ = false;
        lastStop_ = 0;
    }
    changed_.notify_all();
    return S_OK;
}

HRESULT MemoryRenderer::PinNewSegment(Pin&, REFERENCE_TIME start, REFERENCE_TIME, double)
{
    std::lock_guard lock(mutex_);
    segmentStart_ = start;
    lastStop_ = 0;
    return S_OK;
}

void MemoryRenderer::PinDisconnected(Pin&) { changed_.notify_all(); }

}  // namespace kestrine::platform
