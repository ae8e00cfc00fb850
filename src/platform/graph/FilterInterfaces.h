#pragma once
// The interfaces filters, pins, samples and clocks offer one another inside a graph.
#include "platform/com/ComPtr.h"
#include "platform/graph/MediaType.h"

namespace kestrine::platform {

struct IFilterGraph;
struct IBaseFilter;
struct IPin;

enum FILTER_STATE : LONG { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION : LONG { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

inline constexpr std::size_t kMaxFilterName = 128;
inline constexpr std::size_t kMaxPinName = 128;

// Out structures: the interface pointer inside holds a reference the caller releases.
struct FILTER_INFO {
    WCHAR achName[kMaxFilterName] = {};
    IFilterGraph* pGraph = nullptr;
};
struct PIN_INFO {
    IBaseFilter* pFilter = nullptr;
    PIN_DIRECTION dir = PINDIR_INPUT;
    WCHAR achName[kMaxPinName] = {};
};

// A time source in 100 ns units that only moves forward.
struct IReferenceClock : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A86897-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

// Our clocks' way of letting a streaming thread sleep until a time: S_OK once the clock reached
// target, S_FALSE when maxWaitMs passed first (callers re-check their own state and wait again).
struct IReferenceClockWait : IUnknown {
    static constexpr IID kIid = MakeGuid("{3A0E7F4C-9B21-4C8E-A6D2-51F08C3B7E19}");
    using Base = IUnknown;
    virtual HRESULT WaitUntil(REFERENCE_TIME target, DWORD maxWaitMs) = 0;
};

struct IPersist : IUnknown {
    static constexpr IID kIid = MakeGuid("{0000010C-0000-0000-C000-000000000046}");
    using Base = IUnknown;
    virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

struct IMediaFilter : IPersist {
    static constexpr IID kIid = MakeGuid("{56A86899-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IPersist;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    // start is the clock time at which stream time 0 is presented.
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    // VFW_S_STATE_INTERMEDIATE while a pause has not finished within msTimeout.
    virtual HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) = 0;
    virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
    virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

struct IEnumPins : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A86892-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    // S_OK when count items were given, S_FALSE when fewer; fetched may be null only for count 1.
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** copy) = 0;
};

struct IBaseFilter : IMediaFilter {
    static constexpr IID kIid = MakeGuid("{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IMediaFilter;
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    // Called by the graph only: graph is not counted (the graph owns its filters, not the reverse).
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
    // A CoTaskMemAlloc'ed string, or E_NOTIMPL.
    virtual HRESULT QueryVendorInfo(LPWSTR* vendorInfo) = 0;
};

inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_RENDERER = 0x1;
inline constexpr ULONG AM_FILTER_MISC_FLAGS_IS_SOURCE = 0x2;

// Renderers say so here; the graph waits for each renderer's end of stream before EC_COMPLETE.
struct IAMFilterMiscFlags : IUnknown {
    static constexpr IID kIid = MakeGuid("{2DD74950-A890-11D1-ABE8-00A0C905F375}");
    using Base = IUnknown;
    virtual ULONG GetMiscFlags() = 0;
};

struct IEnumMediaTypes : IUnknown {
    static constexpr IID kIid = MakeGuid("{89C31040-846B-11CE-97D3-00AA0055595A}");
    using Base = IUnknown;
    // Each type given is made by CreateMediaType; the caller frees it with DeleteMediaType.
    virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** copy) = 0;
};

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& from);
void DeleteMediaType(AM_MEDIA_TYPE* type);

struct IPin : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A86891-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    // Output pins connect: receiver is an input pin; mediaType null or partly GUID_NULL lets the pins choose.
    virtual HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* mediaType) = 0;
    // Input pins accept a connection offered by an output pin.
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) = 0;
    // Breaks this pin's half of the connection: S_OK, or S_FALSE when not connected. Our pins allow
    // this while streaming too (a renderer can leave a playing graph); delivery to a gone peer is skipped.
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mediaType) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    virtual HRESULT QueryId(LPWSTR* id) = 0;
    // S_OK when the pin would take the type, S_FALSE otherwise.
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* mediaType) = 0;
    // The types the pin prefers, best first.
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
    // E_NOTIMPL: every input of our filters feeds every output.
    virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count) = 0;
    virtual HRESULT EndOfStream() = 0;
    virtual HRESULT BeginFlush() = 0;
    virtual HRESULT EndFlush() = 0;
    // Samples that follow carry times relative to start (media time, 100 ns) at rate.
    virtual HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;
};

struct IMediaSample : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A8689A-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;
    // VFW_E_SAMPLE_TIME_NOT_SET (as VFW_E_NOT_FOUND here) when the sample has no time.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
    virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* end) = 0;
    virtual HRESULT IsSyncPoint() = 0;  // S_OK for a keyframe
    virtual HRESULT SetSyncPoint(BOOL sync) = 0;
    virtual HRESULT IsPreroll() = 0;  // S_OK: decode but do not present
    virtual HRESULT SetPreroll(BOOL preroll) = 0;
    virtual LONG GetActualDataLength() = 0;
    virtual HRESULT SetActualDataLength(LONG length) = 0;
    virtual HRESULT IsDiscontinuity() = 0;
    virtual HRESULT SetDiscontinuity(BOOL discontinuity) = 0;
};

// Input pins that take samples pushed by their upstream pin on its streaming thread.
struct IMemInputPin : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A8689D-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    // May block (a paused renderer holds its first sample until it runs, is flushed or stopped).
    virtual HRESULT Receive(IMediaSample* sample) = 0;
    virtual HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) = 0;
    virtual HRESULT ReceiveCanBlock() = 0;  // S_OK when Receive may block
};

// How filters report events to their graph.
struct IMediaEventSink : IUnknown {
    static constexpr IID kIid = MakeGuid("{56A868A2-0AD4-11CE-B03A-0020AF0BA770}");
    using Base = IUnknown;
    virtual HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

// Named constants in the form callers know them.
inline constexpr IID IID_IReferenceClock = IReferenceClock::kIid;
inline constexpr IID IID_IPersist = IPersist::kIid;
inline constexpr IID IID_IMediaFilter = IMediaFilter::kIid;
inline constexpr IID IID_IBaseFilter = IBaseFilter::kIid;
inline constexpr IID IID_IEnumPins = IEnumPins::kIid;
inline constexpr IID IID_IPin = IPin::kIid;
inline constexpr IID IID_IEnumMediaTypes = IEnumMediaTypes::kIid;
inline constexpr IID IID_IMediaSample = IMediaSample::kIid;
inline constexpr IID IID_IMemInputPin = IMemInputPin::kIid;
inline constexpr IID IID_IMediaEventSink = IMediaEventSink::kIid;
inline constexpr IID IID_IAMFilterMiscFlags = IAMFilterMiscFlags::kIid;

}  // namespace kestrine::platform
