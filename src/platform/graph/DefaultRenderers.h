#pragma once
// The renderer the graph adds when a stream reaches no renderer already in the graph.
#include "platform/graph/FilterInterfaces.h"

#include <string>

namespace kestrine::platform {

// A renderer for uncompressed streams of the type's major type, or nothing; name is what the graph calls it.
ComPtr<IBaseFilter> CreateDefaultRenderer(const AM_MEDIA_TYPE& type, std::u16string* name);

}  // namespace kestrine::platform
