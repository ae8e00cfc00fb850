#pragma once
// Makes the video renderers creatable by class identifier.
#include "platform/graph/GraphClasses.h"

namespace kestrine::platform {

// CLSID_VideoRenderer and CLSID_VideoMixingRenderer9.
void RegisterRendererClasses(const ClassAdder& add);

}  // namespace kestrine::platform
