#pragma once
// The filter graph manager: holds filters, connects and renders their pins, moves them through
// stopped, paused and running together on one clock, keeps the position, forwards volume to the
// audio renderers and queues the events its user reads.
//
// Threads: every method may be called from any thread (the GUI thread in practice); the graph's
// own lock serialises them. Streaming threads never take that lock: their events go through
// IMediaEventSink, which only touches the event queue.
#include "platform/com/ComObject.h"
#include "platform/graph/EventQueue.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/GraphLog.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace kestrine::platform {

class FilterGraphManager final
    : public ComObject<IFilterGraph2, IMediaControl, IMediaEventEx, IMediaEventSink, IMediaPosition, IBasicAudio, IMediaFilter> {
public:
    FilterGraphManager();
    ~FilterGraphManager() override;

    // IFilterGraph
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Reconnect(IPin* pin) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT SetDefaultSyncSource() override;
    // IGraphBuilder
    HRESULT Connect(IPin* output, IPin* input) override;
    HRESULT Render(IPin* output) override;
    HRESULT RenderFile(LPCWSTR file, LPCWSTR playlist) override;
    HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) override;
    HRESULT SetLogFile(DWORD_PTR file) override;
    HRESULT Abort() override;
    HRESULT ShouldOperationContinue() override;
    // IFilterGraph2
    HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT RenderEx(IPin* output, DWORD flags, DWORD* context) override;

    // IMediaControl (Stop and Pause also serve IMediaFilter)
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG msTimeout, OAFilterState* state) override;
    HRESULT StopWhenReady() override;

    // IMediaEvent, IMediaEventEx
    HRESULT GetEventHandle(OAEVENT* handle) override;
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) override;
    HRESULT WaitForCompletion(LONG msTimeout, LONG* code) override;
    HRESULT CancelDefaultHandling(LONG code) override;
    HRESULT RestoreDefaultHandling(LONG code) override;
    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData) override;
    HRESULT SetNotifyFlags(LONG flags) override;
    HRESULT GetNotifyFlags(LONG* flags) override;

    // IMediaEventSink: filters report here, from any thread.
    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override;

    // IMediaPosition
    HRESULT get_Duration(REFTIME* length) override;
    HRESULT put_CurrentPosition(REFTIME time) override;
    HRESULT get_CurrentPosition(REFTIME* time) override;
    HRESULT get_StopTime(REFTIME* time) override;
    HRESULT put_StopTime(REFTIME time) override;
    HRESULT get_PrerollTime(REFTIME* time) override;
    HRESULT put_PrerollTime(REFTIME time) override;
    HRESULT put_Rate(double rate) override;
    HRESULT get_Rate(double* rate) override;
    HRESULT CanSeekForward(LONG* canSeek) override;
    HRESULT CanSeekBackward(LONG* canSeek) override;

    // IBasicAudio, forwarded to every filter in the graph that offers it
    HRESULT put_Volume(LONG volume) override;
    HRESULT get_Volume(LONG* volume) override;
    HRESULT put_Balance(LONG balance) override;
    HRESULT get_Balance(LONG* balance) override;

    // IMediaFilter: the graph's clock (tests give a manual one) and its state
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT SetSyncSource(IReferenceClock* clock) override;
    HRESULT GetSyncSource(IReferenceClock** clock) override;

    // How long Pause and a paused seek wait for the renderers to present before answering S_FALSE.
    static constexpr DWORD kCueWaitMs = 5000;
    // Running starts this far ahead of the clock, so a Pause right after Run finds the position at 0.
    static constexpr REFERENCE_TIME kStartLatency = 200'000;  // 20 ms

private:
    struct Member {
        ComPtr<IBaseFilter> filter;
        std::u16string name;
    };

    // All of these expect graphMutex_ held.
    std::vector<ComPtr<IBaseFilter>> FiltersDownstreamFirst() const;
    std::vector<ComPtr<IBaseFilter>> Sources() const;
    bool Contains(IBaseFilter* filter) const;
    bool PinInGraph(IPin* pin) const;
    std::u16string UniqueName(LPCWSTR requested, bool* changed) const;
    HRESULT AddFilterLocked(IBaseFilter* filter, LPCWSTR name, std::vector<ComPtr<IBaseFilter>>* added);
    HRESULT RemoveFilterLocked(IBaseFilter* filter);
    HRESULT RenderLocked(IPin* output, bool existingRenderersOnly, std::vector<ComPtr<IBaseFilter>>* added, int depth);
    HRESULT ConnectLocked(IPin* output, IPin* input, std::vector<ComPtr<IBaseFilter>>* added, int depth);
    HRESULT PauseLocked();
    HRESULT RunLocked();
    HRESULT StopLocked();
    HRESULT WaitForCueLocked(DWORD msTimeout);
    void EnsureClockLocked();
    // The clock the members offer (the audio renderer's), else the graph's own system clock.
    ComPtr<IReferenceClock> DefaultClockLocked();
    // Hands every member the clock; a running graph goes on at the same stream time by it.
    void UseClockLocked(ComPtr<IReferenceClock> clock);
    // After members came or went: the clock is chosen again unless the caller chose one.
    void FollowMembersLocked();
    void ResetCompletionLocked();
    void RecountRenderersLocked();
    REFERENCE_TIME DurationLocked() const;
    REFERENCE_TIME StreamTimeLocked() const;
    REFERENCE_TIME PositionLocked() const;
    std::string NameForLog(IBaseFilter* filter) const;

    mutable std::recursive_mutex graphMutex_;
    std::vector<Member> members_;
    FILTER_STATE state_ = State_Stopped;
    ComPtr<IReferenceClock> clock_;
    ComPtr<IReferenceClock> systemClock_;
    // By SetSyncSource, kept until its filter leaves; otherwise the clock follows the members.
    bool clockChosen_ = false;
    REFERENCE_TIME runStart_ = 0;
    REFERENCE_TIME pausedStreamTime_ = 0;
    REFERENCE_TIME segmentStart_ = 0;
    int nextAutoName_ = 1;

    EventQueue events_;
    GraphLog log_;

    // End-of-stream bookkeeping shared with the streaming threads.
    std::mutex completionMutex_;
    std::set<LONG_PTR> completedRenderers_;
    std::size_t expectedRenderers_ = 0;
    bool completionSent_ = false;
    std::atomic<bool> defaultCompleteHandling_{true};
};

}  // namespace kestrine::platform
