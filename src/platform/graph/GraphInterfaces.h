#pragma once
// The interfaces a filter graph manager offers its users: building, control, events, position, volume,
// and the capture and DVD graph builders that hand out a graph of their own.
// Automation-only members (those taking BSTR, VARIANT or IDispatch) are left out: nothing here uses them.
#include "platform/graph/FilterInterfaces.h"

namespace kestrine::platform {

using OAFilterState = LONG;
using OAHWND = LONG_PTR;  // a window handle of the message-window stand-in, as an integer
using OAEVENT = LONG_PTR;
using LCID = DWORD;

struct IEnumFilters : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A86893-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    // S_OK when count items were given, S_FALSE when fewer. The enumerator lists the filters the graph
    // held when it was made; Reset takes a fresh list.
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** copy) = 0;
};

struct IFilterGraph : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A8689F-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    // The graph holds a reference. A taken name gives VFW_S_DUPLICATE_NAME and a changed name.
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    // Disconnects the filter's pins (both ends) and lets it go. VFW_E_NOT_FOUND when not in the graph.
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
    virtual HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IGraphBuilder : IFilterGraph {
    static constexpr IID kIid = MakeGuid("{56A868A9-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IFilterGraph;
    // Connects directly, or through filters the graph adds in between.
    virtual HRESULT Connect(IPin* output, IPin* input) = 0;
    // Connects an output pin onwards to a renderer.
    virtual HRESULT Render(IPin* output) = 0;
    // Builds the graph that plays the file. playlist must be null. S_OK; VFW_S_PARTIAL_RENDER when a
    // stream could not be connected; a failure when nothing could, or the file cannot be read.
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playlist) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) = 0;
    // A file descriptor that receives one line per graph operation; 0 for none. Not closed by the graph.
    virtual HRESULT SetLogFile(DWORD_PTR file) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

struct IFilterGraph2 : IGraphBuilder {
    static constexpr IID kIid = MakeGuid("{36B73882-C2C8-11CF-8B46-00805F6CEF60}");
    using Base = IGraphBuilder;
    virtual HRESULT ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT RenderEx(IPin* output, DWORD flags, DWORD* context) = 0;
};

inline constexpr DWORD AM_RENDEREX_RENDERTOEXISTINGRENDERERS = 0x01;

struct IMediaControl : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A868B1-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT Run() = 0;
    // S_OK once every renderer holds its first sample; S_FALSE when that is still under way.
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;
    virtual HRESULT StopWhenReady() = 0;
};

struct IMediaEvent : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A868B6-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT GetEventHandle(OAEVENT* handle) = 0;
    // The oldest queued event; E_ABORT when none arrived within msTimeout (0: do not wait, INFINITE as -1).
    virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) = 0;
    virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* code) = 0;
    virtual HRESULT CancelDefaultHandling(LONG code) = 0;
    virtual HRESULT RestoreDefaultHandling(LONG code) = 0;
    // Frees what an event's parameters own; call once per event GetEvent gave.
    virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IMediaEventEx : IMediaEvent {
    static constexpr IID kIid = MakeGuid("{56A868C0-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IMediaEvent;
    // Each queued event posts message (wParam 0, lParam instanceData) to window, delivered on the
    // window's thread. window 0 stops posting.
    virtual HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData) = 0;
    // 0: events queued and posted; AM_MEDIAEVENT_NONOTIFY: queue emptied, nothing queued.
    virtual HRESULT SetNotifyFlags(LONG flags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* flags) = 0;
};

// Position and duration in seconds. The position is media time: 0 at the file's first presented
// instant, the duration at its end.
struct IMediaPosition : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A868B2-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT get_Duration(REFTIME* length) = 0;
    // Paused: presents the frame at time before returning (or S_FALSE if that takes too long).
    virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
    virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
    virtual HRESULT get_StopTime(REFTIME* time) = 0;
    virtual HRESULT put_StopTime(REFTIME time) = 0;
    virtual HRESULT get_PrerollTime(REFTIME* time) = 0;
    virtual HRESULT put_PrerollTime(REFTIME time) = 0;
    virtual HRESULT put_Rate(double rate) = 0;
    virtual HRESULT get_Rate(double* rate) = 0;
    virtual HRESULT CanSeekForward(LONG* canSeek) = 0;
    virtual HRESULT CanSeekBackward(LONG* canSeek) = 0;
};

// Volume in hundredths of a decibel, -10000 (silent) to 0 (full); balance -10000 (left) to 10000.
struct IBasicAudio : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A868B3-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT put_Volume(LONG volume) = 0;
    virtual HRESULT get_Volume(LONG* volume) = 0;
    virtual HRESULT put_Balance(LONG balance) = 0;
    virtual HRESULT get_Balance(LONG* balance) = 0;
};

struct ICaptureGraphBuilder2 : IUnknown {
    static constexpr IID kIid = MakeGuid("{93E5A4E0-2D50-11D2-ABFA-00A0C9C6E38D}");
    using Base = IUnknown;
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
    // Asks the filter (and its neighbours) for an interface; there are no capture devices on this platform.
    virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid, void** ppv) = 0;
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
                                 IBaseFilter* renderer) = 0;
};

struct IDvdGraphBuilder : IUnknown {
    static constexpr IID kIid = MakeGuid("{FCC152B6-F372-11D0-8E00-00C04FD7C08B}");
    using Base = IUnknown;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
    // The DVD navigator's interfaces; no DVD drive or navigator exists here.
    virtual HRESULT GetDvdInterface(REFIID riid, void** ppv) = 0;
    virtual HRESULT RenderDvdVideoVolume(LPCWSTR path, DWORD flags, void* status) = 0;
};

// DVD navigator interfaces, declared so callers can ask for them (and be told there is no DVD).
struct IDvdControl2 : IUnknown {
    static constexpr IID kIid = MakeGuid("{33BC7430-EEC0-11D2-8201-00A0C9D74842}");
    using Base = IUnknown;
};
struct IDvdInfo2 : IUnknown {
    static constexpr IID kIid = MakeGuid("{34151510-EEC0-11D2-8201-00A0C9D74842}");
    using Base = IUnknown;
    virtual HRESULT GetAudioLanguage(ULONG stream, LCID* language) = 0;
    virtual HRESULT GetSubpictureLanguage(ULONG stream, LCID* language) = 0;
};

inline constexpr IID IID_IEnumFilters = IEnumFilters::kIid;
inline constexpr IID IID_IFilterGraph = IFilterGraph::kIid;
inline constexpr IID IID_IGraphBuilder = IGraphBuilder::kIid;
inline constexpr IID IID_IFilterGraph2 = IFilterGraph2::kIid;
inline constexpr IID IID_IMediaControl = IMediaControl::kIid;
inline constexpr IID IID_IMediaEvent = IMediaEvent::kIid;
inline constexpr IID IID_IMediaEventEx = IMediaEventEx::kIid;
inline constexpr IID IID_IMediaPosition = IMediaPosition::kIid;
inline constexpr IID IID_IBasicAudio = IBasicAudio::kIid;
inline constexpr IID IID_ICaptureGraphBuilder2 = ICaptureGraphBuilder2::kIid;
inline constexpr IID IID_IDvdGraphBuilder = IDvdGraphBuilder::kIid;
inline constexpr IID IID_IDvdControl2 = IDvdControl2::kIid;
inline constexpr IID IID_IDvdInfo2 = IDvdInfo2::kIid;

inline constexpr CLSID CLSID_FilterGraph = MakeGuid("{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
inline constexpr CLSID CLSID_CaptureGraphBuilder2 = MakeGuid("{BF87B6E1-8C27-11D0-B3F0-00AA003761C5}");
inline constexpr CLSID CLSID_DvdGraphBuilder = MakeGuid("{FCC152B7-F372-11D0-8E00-00C04FD7C08B}");
inline constexpr CLSID CLSID_VideoRenderer = MakeGuid("{70E102B0-5556-11CE-97C0-00AA0055595A}");
inline constexpr CLSID CLSID_VideoMixingRenderer9 = MakeGuid("{51B4ABF3-748F-4E3B-A276-C828330E926A}");

}  // namespace kestrine::platform
