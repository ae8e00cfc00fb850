#pragma once
// The two small interfaces through which other components take part in a filter graph component:
// a provider supplies one filter that the graph adds while it is active, a listener hears every graph
// event and every control operation. Implementers are components whose owner manages their lifetime,
// so their AddRef and Release count nothing (see ComponentInterfaces.h).
#include "platform/graph/GraphInterfaces.h"

#include <string>

namespace kestrine::media {

using platform::HRESULT;
using platform::IBaseFilter;
using platform::IID;
using platform::LONG;
using platform::LONG_PTR;

// FilterNotify operations; param is always 0.
inline constexpr LONG kFilterBeforeAdd = 0;
inline constexpr LONG kFilterAdded = 1;
inline constexpr LONG kFilterBeforeRemove = 2;
inline constexpr LONG kFilterRemoved = 3;

// GraphControlNotify operations; the value is 0 except for kControlActivation (1 after activating,
// 0 before deactivating).
inline constexpr LONG kControlPlay = 0;
inline constexpr LONG kControlPause = 1;
inline constexpr LONG kControlStop = 2;
inline constexpr LONG kControlRenderStart = 3;
inline constexpr LONG kControlRenderDone = 4;
inline constexpr LONG kControlActivation = 7;

struct IGraphFilterProvider : platform::IUnknown {
    static constexpr IID kIid = platform::MakeGuid("{887F94DA-29E9-44C6-B48E-1FBF0FB59878}");
    using Base = platform::IUnknown;
    // The filter to add, with one reference for the caller; may be empty.
    virtual HRESULT GetFilter(IBaseFilter** filter) = 0;
    // The name under which the filter is added (UTF-8).
    virtual HRESULT GetFilterName(std::string* name) = 0;
    virtual HRESULT FilterNotify(LONG operation, LONG param) = 0;
};

struct IGraphListener : platform::IUnknown {
    static constexpr IID kIid = platform::MakeGuid("{6C0DCD7B-1A98-44EF-A6D5-E23CBC24E620}");
    using Base = platform::IUnknown;
    // Every graph event, with its parameters as the graph gave them (valid for the call only).
    virtual HRESULT GraphEventNotify(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
    virtual HRESULT GraphControlNotify(LONG operation, LONG value) = 0;
};

inline constexpr IID IID_IGraphFilterProvider = IGraphFilterProvider::kIid;
inline constexpr IID IID_IGraphListener = IGraphListener::kIid;

}  // namespace kestrine::media
