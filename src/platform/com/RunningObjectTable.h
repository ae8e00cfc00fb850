#pragma once
// A process-local table of running objects registered under names, so a graph can be found by
// outside inspection tools that share the process.
#include "platform/com/ComPtr.h"

namespace kestrine::platform {

// Names an object. Only what registration needs: the display name and equality.
struct IMoniker : IUnknown {
    static constexpr IID kIid = MakeGuid("{0000000F-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // The name as one string ("!FilterGraph ..."); the caller frees it with CoTaskMemFree.
    // bindContext and left are accepted for the published shape and must be null.
    virtual HRESULT GetDisplayName(IUnknown* bindContext, IMoniker* left, LPOLESTR* displayName) = 0;
    // S_OK when both name the same object, S_FALSE otherwise.
    virtual HRESULT IsEqual(IMoniker* other) = 0;
};

struct IRunningObjectTable : IUnknown {
    static constexpr IID kIid = MakeGuid("{00000010-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // Holds a reference to the object until Revoke. S_OK, or MK_S_MONIKERALREADYREGISTERED when
    // the name was taken (the object is registered all the same, with its own cookie).
    virtual HRESULT Register(DWORD flags, IUnknown* object, IMoniker* name, DWORD* cookie) = 0;
    virtual HRESULT Revoke(DWORD cookie) = 0;
    // S_OK when an object is registered under the name, S_FALSE otherwise.
    virtual HRESULT IsRunning(IMoniker* name) = 0;
    // The first object registered under the name, or MK_E_UNAVAILABLE.
    virtual HRESULT GetObject(IMoniker* name, IUnknown** object) = 0;
};

inline constexpr DWORD ROTFLAGS_REGISTRATIONKEEPSALIVE = 0x1;

// reserved must be 0.
HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** table);
// A moniker whose display name is delimiter followed by item.
HRESULT CreateItemMoniker(LPCOLESTR delimiter, LPCOLESTR item, IMoniker** moniker);

}  // namespace kestrine::platform
