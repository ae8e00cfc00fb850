#include "platform/graph/Pin.h"

#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/Enumerators.h"

namespace kestrine::platform {

bool MediaTypeMatches(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE* pattern)
{
    if (pattern == nullptr) return true;
    if (pattern->majortype != GUID_NULL && pattern->majortype != type.majortype) return false;
    if (pattern->subtype != GUID_NULL && pattern->subtype != type.subtype) return false;
    if (pattern->formattype != GUID_NULL && pattern->formattype != type.formattype) return false;
    return true;
}

namespace {
bool IsComplete(const AM_MEDIA_TYPE* type)
{
    return type != nullptr && type->majortype != GUID_NULL && type->subtype != GUID_NULL;
}

PIN_DIRECTION DirectionOf(IPin* pin)
{
    PIN_DIRECTION d = PINDIR_INPUT;
    pin->QueryDirection(&d);
    return d;
}
}  // namespace

Pin::Pin(IUnknown& owner, PinHost& host, PIN_DIRECTION direction, std::u16string name, int index)
    : ComPart(owner), host_(host), direction_(direction), name_(std::move(name)), index_(index)
{
}

HRESULT Pin::QueryInterface(REFIID riid, void** ppv)
{
    if (riid == IMemInputPin::kIid && direction_ == PINDIR_OUTPUT) {
        if (ppv) *ppv = nullptr;
        return ppv ? E_NOINTERFACE : E_POINTER;
    }
    return ComPart::QueryInterface(riid, ppv);
}

bool Pin::IsConnected() const
{
    std::lock_guard lock(mutex_);
    return static_cast<bool>(peer_);
}

ComPtr<IPin> Pin::Peer() const
{
    std::lock_guard lock(mutex_);
    return peer_;
}

AM_MEDIA_TYPE Pin::ConnectedType() const
{
    std::lock_guard lock(mutex_);
    return type_;
}

void Pin::SetConnection(ComPtr<IPin> peer, const AM_MEDIA_TYPE& type)
{
    ComPtr<IMemInputPin> input;
    if (direction_ == PINDIR_OUTPUT && peer) peer.As(&input);
    std::lock_guard lock(mutex_);
    peer_ = std::move(peer);
    peerInput_ = std::move(input);
    type_ = type;
}

HRESULT Pin::TryConnect(IPin* receiver, const AM_MEDIA_TYPE& type)
{
    if (host_.PinCheckMediaType(*this, type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    const HRESULT hr = receiver->ReceiveConnection(this, &type);
    if (FAILED(hr)) return hr;
    SetConnection(ComPtr<IPin>(receiver), type);
    if (FAILED(host_.PinConnected(*this))) {
        receiver->Disconnect();
        SetConnection(nullptr, AM_MEDIA_TYPE{});
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Pin::Connect(IPin* receiver, const AM_MEDIA_TYPE* mediaType)
{
    if (receiver == nullptr) return E_POINTER;
    if (direction_ != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    if (DirectionOf(receiver) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    ComPtr<IMemInputPin> transport;
    if (FAILED(receiver->QueryInterface(IID_PPV_ARGS(transport.GetAddressOf())))) return E_NOINTERFACE;

    if (IsComplete(mediaType)) return TryConnect(receiver, *mediaType);
    // Our own types first, then what the receiver prefers.
    std::vector<AM_MEDIA_TYPE> candidates = host_.PinMediaTypes(*this);
    for (AM_MEDIA_TYPE& t : ListMediaTypes(receiver)) candidates.push_back(std::move(t));
    for (const AM_MEDIA_TYPE& type : candidates) {
        if (!MediaTypeMatches(type, mediaType)) continue;
        if (TryConnect(receiver, type) == S_OK) return S_OK;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT Pin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType)
{
    if (connector == nullptr || mediaType == nullptr) return E_POINTER;
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    if (DirectionOf(connector) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (host_.PinCheckMediaType(*this, *mediaType) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    SetConnection(ComPtr<IPin>(connector), *mediaType);
    if (FAILED(host_.PinConnected(*this))) {
        SetConnection(nullptr, AM_MEDIA_TYPE{});
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Pin::Disconnect()
{
    ComPtr<IPin> old;
    {
        std::lock_guard lock(mutex_);
        if (!peer_) return S_FALSE;
        old = std::move(peer_);
        peerInput_.Reset();
        type_ = AM_MEDIA_TYPE{};
    }
    host_.PinDisconnected(*this);
    return S_OK;
}

HRESULT Pin::ConnectedTo(IPin** pin)
{
    if (pin == nullptr) return E_POINTER;
    *pin = nullptr;
    std::lock_guard lock(mutex_);
    if (!peer_) return VFW_E_NOT_CONNECTED;
    return peer_.CopyTo(pin);
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (!peer_) {
        *mediaType = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    *mediaType = type_;
    return S_OK;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info)
{
    if (info == nullptr) return E_POINTER;
    info->pFilter = host_.PinFilter();
    if (info->pFilter) info->pFilter->AddRef();
    info->dir = direction_;
    CopyWide(name_, info->achName, kMaxPinName);
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* direction)
{
    if (direction == nullptr) return E_POINTER;
    *direction = direction_;
    return S_OK;
}

HRESULT Pin::QueryId(LPWSTR* id)
{
    if (id == nullptr) return E_POINTER;
    *id = CoTaskStrDup(name_.c_str());
    return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT Pin::QueryAccept(const AM_MEDIA_TYPE* mediaType)
{
    if (mediaType == nullptr) return E_POINTER;
    return host_.PinCheckMediaType(*this, *mediaType) == S_OK ? S_OK : S_FALSE;
}

HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (types == nullptr) return E_POINTER;
    *types = MakeComObject<MediaTypeEnumerator>(host_.PinMediaTypes(*this)).Detach();
    return S_OK;
}

HRESULT Pin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT Pin::EndOfStream() { return direction_ == PINDIR_INPUT ? host_.PinEndOfStream(*this) : E_UNEXPECTED; }
HRESULT Pin::BeginFlush() { return direction_ == PINDIR_INPUT ? host_.PinBeginFlush(*this) : E_UNEXPECTED; }
HRESULT Pin::EndFlush() { return direction_ == PINDIR_INPUT ? host_.PinEndFlush(*this) : E_UNEXPECTED; }

HRESULT Pin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return direction_ == PINDIR_INPUT ? host_.PinNewSegment(*this, start, stop, rate) : E_UNEXPECTED;
}

HRESULT Pin::Receive(IMediaSample* sample)
{
    if (sample == nullptr) return E_POINTER;
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    if (!IsConnected()) return VFW_E_NOT_CONNECTED;
    return host_.PinReceive(*this, sample);
}

HRESULT Pin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed)
{
    if (samples == nullptr || processed == nullptr) return E_POINTER;
    *processed = 0;
    for (LONG i = 0; i < count; ++i) {
        const HRESULT hr = Receive(samples[i]);
        if (hr != S_OK) return hr;
        ++*processed;
    }
    return S_OK;
}

HRESULT Pin::Deliver(IMediaSample* sample)
{
    ComPtr<IMemInputPin> input;
    {
        std::lock_guard lock(mutex_);
        input = peerInput_;
    }
    if (!input) return VFW_E_NOT_CONNECTED;
    return input->Receive(sample);
}

HRESULT Pin::DeliverEndOfStream()
{
    const ComPtr<IPin> peer = Peer();
    return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::DeliverBeginFlush()
{
    const ComPtr<IPin> peer = Peer();
    return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::DeliverEndFlush()
{
    const ComPtr<IPin> peer = Peer();
    return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT Pin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    const ComPtr<IPin> peer = Peer();
    return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

std::vector<AM_MEDIA_TYPE> ListMediaTypes(IPin* pin)
{
    std::vector<AM_MEDIA_TYPE> out;
    ComPtr<IEnumMediaTypes> e;
    if (pin == nullptr || FAILED(pin->EnumMediaTypes(e.GetAddressOf())) || !e) return out;
    AM_MEDIA_TYPE* t = nullptr;
    while (e->Next(1, &t, nullptr) == S_OK) {
        out.push_back(*t);
        DeleteMediaType(t);
    }
    return out;
}

std::vector<ComPtr<IPin>> ListPins(IBaseFilter* filter)
{
    std::vector<ComPtr<IPin>> out;
    ComPtr<IEnumPins> e;
    if (filter == nullptr || FAILED(filter->EnumPins(e.GetAddressOf())) || !e) return out;
    ComPtr<IPin> pin;
    while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) out.push_back(pin);
    return out;
}

}  // namespace kestrine::platform
