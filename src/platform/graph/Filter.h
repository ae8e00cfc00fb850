#pragma once
// The common part of our filters: state, clock, graph membership, pins and their enumeration.
// A filter class derives from Filter<extra interfaces...> and supplies the PinHost answers and
// OnStateChange.
#include "platform/com/WideString.h"
#include "platform/graph/Enumerators.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/Pin.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrine::platform {

template <class... Extra>
class Filter : public ComObject<IBaseFilter, Extra...>, protected PinHost {
public:
    HRESULT GetClassID(CLSID* clsid) override
    {
        if (clsid == nullptr) return E_POINTER;
        *clsid = clsid_;
        return S_OK;
    }

    HRESULT Stop() override { return ChangeState(State_Stopped, 0); }
    HRESULT Pause() override { return ChangeState(State_Paused, 0); }
    HRESULT Run(REFERENCE_TIME start) override { return ChangeState(State_Running, start); }

    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override
    {
        if (state == nullptr) return E_POINTER;
        *state = State();
        return *state == State_Paused ? WaitPauseComplete(msTimeout) : S_OK;
    }

    HRESULT SetSyncSource(IReferenceClock* clock) override
    {
        std::lock_guard lock(filterMutex_);
        clock_ = ComPtr<IReferenceClock>(clock);
        return S_OK;
    }
    HRESULT GetSyncSource(IReferenceClock** clock) override
    {
        if (clock == nullptr) return E_POINTER;
        std::lock_guard lock(filterMutex_);
        return clock_.CopyTo(clock);
    }

    HRESULT EnumPins(IEnumPins** pins) override
    {
        if (pins == nullptr) return E_POINTER;
        auto lister = [self = ComPtr<IBaseFilter>(this), this] {
            std::vector<ComPtr<IPin>> out;
            std::lock_guard lock(filterMutex_);
            for (const auto& p : pins_) out.emplace_back(p.get());
            return out;
        };
        *pins = MakeComObject<InterfaceEnumerator<IEnumPins, IPin>>(std::move(lister)).Detach();
        return S_OK;
    }

    HRESULT FindPin(LPCWSTR id, IPin** pin) override
    {
        if (id == nullptr || pin == nullptr) return E_POINTER;
        *pin = nullptr;
        std::lock_guard lock(filterMutex_);
        for (const auto& p : pins_) {
            if (p->Name() == id) {
                *pin = p.get();
                p->AddRef();
                return S_OK;
            }
        }
        return VFW_E_NOT_FOUND;
    }

    HRESULT QueryFilterInfo(FILTER_INFO* info) override
    {
        if (info == nullptr) return E_POINTER;
        std::lock_guard lock(filterMutex_);
        CopyWide(name_, info->achName, kMaxFilterName);
        info->pGraph = graph_;
        if (graph_) graph_->AddRef();
        return S_OK;
    }

    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override
    {
        ComPtr<IMediaEventSink> sink;
        if (graph) graph->QueryInterface(IID_PPV_ARGS(sink.GetAddressOf()));
        std::lock_guard lock(filterMutex_);
        // Not counted: the graph holds its filters, so a counted back reference would keep both alive.
        graph_ = graph;
        sink_ = sink.Get();
        name_ = (graph && name) ? std::u16string(name) : std::u16string();
        return S_OK;
    }

    HRESULT QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    FILTER_STATE State() const
    {
        std::lock_guard lock(filterMutex_);
        return state_;
    }
    std::u16string FilterName() const
    {
        std::lock_guard lock(filterMutex_);
        return name_;
    }
    std::size_t PinCount() const
    {
        std::lock_guard lock(filterMutex_);
        return pins_.size();
    }
    Pin& PinAt(std::size_t i) const
    {
        std::lock_guard lock(filterMutex_);
        return *pins_.at(i);
    }

protected:
    explicit Filter(const CLSID& clsid) : clsid_(clsid) {}

    Pin& AddPin(PIN_DIRECTION direction, std::u16string name)
    {
        PinHost& host = *this;
        std::lock_guard lock(filterMutex_);
        pins_.push_back(std::make_unique<Pin>(*this->IdentityUnknown(), host, direction, std::move(name), static_cast<int>(pins_.size())));
        return *pins_.back();
    }

    // Runs after the state was stored. start is the clock time of stream time 0 (Run only).
    virtual HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) = 0;
    // Paused filters that are still getting ready (renderers without their first sample) wait here.
    virtual HRESULT WaitPauseComplete(DWORD) { return S_OK; }

    ComPtr<IReferenceClock> Clock() const
    {
        std::lock_guard lock(filterMutex_);
        return clock_;
    }
    REFERENCE_TIME RunStart() const
    {
        std::lock_guard lock(filterMutex_);
        return runStart_;
    }

    // Reports an event to the graph the filter is in; nothing when it is in none.
    HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
    {
        IMediaEventSink* sink = nullptr;
        {
            std::lock_guard lock(filterMutex_);
            sink = sink_;
        }
        return sink ? sink->Notify(code, param1, param2) : S_FALSE;
    }

    IBaseFilter* PinFilter() override { return this; }

private:
    HRESULT ChangeState(FILTER_STATE to, REFERENCE_TIME start)
    {
        FILTER_STATE from;
        {
            std::lock_guard lock(filterMutex_);
            from = state_;
            state_ = to;
            if (to == State_Running) runStart_ = start;
        }
        return OnStateChange(from, to, start);
    }

    const CLSID clsid_;
    mutable std::mutex filterMutex_;
    FILTER_STATE state_ = State_Stopped;
    REFERENCE_TIME runStart_ = 0;
    ComPtr<IReferenceClock> clock_;
    IFilterGraph* graph_ = nullptr;
    IMediaEventSink* sink_ = nullptr;
    std::u16string name_;
    std::vector<std::unique_ptr<Pin>> pins_;
};

}  // namespace kestrine::platform
