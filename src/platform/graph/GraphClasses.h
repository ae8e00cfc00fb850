#pragma once
// The classes of the media graph that CoCreateInstance knows from the start.
#include "platform/com/ComRuntime.h"

#include <functional>

namespace kestrine::platform {

using ClassAdder = std::function<void(REFCLSID, ClassFactory)>;

// Filter graph manager, capture graph builder and DVD graph builder.
void RegisterBuiltInGraphClasses(const ClassAdder& add);

}  // namespace kestrine::platform
