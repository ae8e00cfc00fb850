#include "platform/graph/GraphBuilders.h"

#include "platform/graph/Enumerators.h"
#include "platform/graph/FilterGraphManager.h"

namespace kestrine::platform {

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph)
{
    if (graph == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (graph_) return E_UNEXPECTED;
    graph_ = ComPtr<IGraphBuilder>(graph);
    return S_OK;
}

HRESULT CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph)
{
    if (graph == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (!graph_) graph_ = MakeComObject<FilterGraphManager>();
    return graph_.CopyTo(graph);
}

HRESULT CaptureGraphBuilder::FindInterface(const GUID*, const GUID*, IBaseFilter* filter, REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (filter == nullptr) return E_POINTER;
    if (SUCCEEDED(filter->QueryInterface(riid, ppv))) return S_OK;
    for (const ComPtr<IPin>& pin : ListPins(filter))
        if (SUCCEEDED(pin->QueryInterface(riid, ppv))) return S_OK;
    return E_NOINTERFACE;
}

HRESULT CaptureGraphBuilder::RenderStream(const GUID*, const GUID*, IUnknown* source, IBaseFilter*, IBaseFilter*)
{
    if (source == nullptr) return E_POINTER;
    ComPtr<IGraphBuilder> graph;
    {
        std::lock_guard lock(mutex_);
        graph = graph_;
    }
    if (!graph) return E_UNEXPECTED;
    ComPtr<IBaseFilter> filter;
    if (FAILED(source->QueryInterface(IID_PPV_ARGS(filter.GetAddressOf())))) return E_INVALIDARG;
    bool any = false;
    for (const ComPtr<IPin>& pin : ListPins(filter.Get())) {
        PIN_DIRECTION d = PINDIR_INPUT;
        ComPtr<IPin> peer;
        pin->QueryDirection(&d);
        if (d != PINDIR_OUTPUT || SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf()))) continue;
        if (SUCCEEDED(graph->Render(pin.Get()))) any = true;
    }
    return any ? S_OK : VFW_E_CANNOT_RENDER;
}

HRESULT DvdGraphBuilder::GetFiltergraph(IGraphBuilder** graph)
{
    if (graph == nullptr) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (!graph_) graph_ = MakeComObject<FilterGraphManager>();
    return graph_.CopyTo(graph);
}

HRESULT DvdGraphBuilder::GetDvdInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IDvdControl2::kIid || riid == IDvdInfo2::kIid) return VFW_E_NOT_FOUND;
    return E_NOINTERFACE;
}

HRESULT DvdGraphBuilder::RenderDvdVideoVolume(LPCWSTR, DWORD, void*) { return VFW_E_NOT_FOUND; }

}  // namespace kestrine::platform
