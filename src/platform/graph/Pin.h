#pragma once
// The pins of our filters. A pin answers its own interfaces but lives as long as its filter: its
// reference count is the filter's. What a pin accepts and does with data is asked of its PinHost.
#include "platform/com/ComObject.h"
#include "platform/graph/FilterInterfaces.h"

#include <mutex>
#include <string>
#include <vector>

namespace kestrine::platform {

class Pin;

class PinHost {
public:
    virtual IBaseFilter* PinFilter() = 0;  // not counted
    // Output pins: the types offered, best first. Input pins: what EnumMediaTypes shows (usually nothing).
    virtual std::vector<AM_MEDIA_TYPE> PinMediaTypes(const Pin&) { return {}; }
    // S_OK when the pin can carry the type.
    virtual HRESULT PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type) = 0;
    // After both ends agreed on the type; a failure undoes the connection.
    virtual HRESULT PinConnected(Pin&) { return S_OK; }
    virtual void PinDisconnected(Pin&) {}
    // Input pins only, on the upstream filter's streaming thread.
    virtual HRESULT PinReceive(Pin&, IMediaSample*) { return E_UNEXPECTED; }
    virtual HRESULT PinEndOfStream(Pin&) { return S_OK; }
    virtual HRESULT PinBeginFlush(Pin&) { return S_OK; }
    virtual HRESULT PinEndFlush(Pin&) { return S_OK; }
    virtual HRESULT PinNewSegment(Pin&, REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

protected:
    ~PinHost() = default;
};

class Pin final : public ComPart<IPin, IMemInputPin> {
public:
    Pin(IUnknown& owner, PinHost& host, PIN_DIRECTION direction, std::u16string name, int index);
    ~Pin() override = default;

    // Output pins do not take samples, so they do not answer IMemInputPin.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;

    HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mediaType) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* mediaType) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    HRESULT Receive(IMediaSample* sample) override;
    HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
    HRESULT ReceiveCanBlock() override { return S_OK; }

    PIN_DIRECTION Direction() const { return direction_; }
    const std::u16string& Name() const { return name_; }
    int Index() const { return index_; }
    bool IsConnected() const;
    ComPtr<IPin> Peer() const;
    AM_MEDIA_TYPE ConnectedType() const;

    // Output side, from the owning filter's streaming thread. VFW_E_NOT_CONNECTED when there is no peer.
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

private:
    HRESULT TryConnect(IPin* receiver, const AM_MEDIA_TYPE& type);
    void SetConnection(ComPtr<IPin> peer, const AM_MEDIA_TYPE& type);

    PinHost& host_;
    const PIN_DIRECTION direction_;
    const std::u16string name_;
    const int index_;

    mutable std::mutex mutex_;
    ComPtr<IPin> peer_;
    ComPtr<IMemInputPin> peerInput_;
    AM_MEDIA_TYPE type_;
};

// Whether type fits pattern, where GUID_NULL in the pattern matches anything.
bool MediaTypeMatches(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE* pattern);

}  // namespace kestrine::platform
