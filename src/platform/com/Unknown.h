#pragma once
// The root interface: identity, interface discovery and shared ownership by reference counting.
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"

#include <type_traits>

namespace kestrine::platform {

// Every interface names its identifier as kIid and its parent interface as Base, so objects can
// answer queries for the whole chain (asking for IGraphBuilder on an IFilterGraph2 object succeeds).
struct IUnknown {
    static constexpr IID kIid = MakeGuid("{00000000-0000-0000-C000-000000000046}");

    // Rules every implementation keeps: asking for IUnknown always gives the same pointer (identity);
    // what was given once is given again (stable); an interface obtained can be asked for the one it
    // came from (symmetry), for itself (reflexivity) and for anything the first could give (transitivity).
    // On success *ppv holds one new reference; on failure *ppv is null.
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

inline constexpr IID IID_IUnknown = IUnknown::kIid;

template <class I>
constexpr const IID& IidOf()
{
    return I::kIid;
}

template <class I>
constexpr const IID& IidOfPointer(I**)
{
    return I::kIid;
}

template <class I>
void** PpvOf(I** pp)
{
    static_assert(std::is_base_of_v<IUnknown, I>, "only interfaces can be queried");
    return reinterpret_cast<void**>(pp);
}

}  // namespace kestrine::platform

// Expands to the identifier and the out pointer of an interface pointer variable, as QueryInterface takes them.
#define IID_PPV_ARGS(pp) ::kestrine::platform::IidOfPointer(pp), ::kestrine::platform::PpvOf(pp)
