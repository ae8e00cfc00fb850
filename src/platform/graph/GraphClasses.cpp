#include "platform/graph/GraphClasses.h"

#include "platform/graph/FilterGraphManager.h"
#include "platform/graph/GraphBuilders.h"
#include "platform/render/RenderClasses.h"

namespace kestrine::platform {

void RegisterBuiltInGraphClasses(const ClassAdder& add)
{
    add(CLSID_FilterGraph, [](REFIID riid, void** ppv) { return CreateAndQuery<FilterGraphManager>(riid, ppv); });
    add(CLSID_CaptureGraphBuilder2, [](REFIID riid, void** ppv) { return CreateAndQuery<CaptureGraphBuilder>(riid, ppv); });
    add(CLSID_DvdGraphBuilder, [](REFIID riid, void** ppv) { return CreateAndQuery<DvdGraphBuilder>(riid, ppv); });
    RegisterRendererClasses(add);
}

}  // namespace kestrine::platform
