#pragma once
// Interfaces implemented by components (windows, controls, the filter graph component): their owner
// decides when they go, so reference counting is a no-op and AddRef and Release answer -1. A holder
// of such an interface must drop it before the component is destroyed.
#include "platform/com/ComObject.h"

namespace kestrine::media {

inline constexpr platform::ULONG kUncounted = static_cast<platform::ULONG>(-1);

template <class... Interfaces>
class ComponentInterfaces : public Interfaces... {
public:
    platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override
    {
        if (ppv == nullptr) return platform::E_POINTER;
        *ppv = nullptr;
        void* found = nullptr;
        if (riid == platform::IID_IUnknown) {
            found = static_cast<typename platform::detail::FirstOf<Interfaces...>::Type*>(this);
        } else {
            ((found = found ? found : platform::detail::FindInChain<Interfaces>(this, riid)), ...);
        }
        if (found == nullptr) return QueryComponentFallback(riid, ppv);
        *ppv = found;
        return platform::S_OK;
    }
    platform::ULONG AddRef() override { return kUncounted; }
    platform::ULONG Release() override { return kUncounted; }

protected:
    ComponentInterfaces() = default;
    ~ComponentInterfaces() = default;
    // Where a component passes on what it does not implement itself (a renderer, a graph).
    virtual platform::HRESULT QueryComponentFallback(platform::REFIID, void**) { return platform::E_NOINTERFACE; }
};

}  // namespace kestrine::media
