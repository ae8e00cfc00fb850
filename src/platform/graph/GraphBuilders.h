#pragma once
// The capture graph builder and the DVD graph builder. Neither has devices or discs to work with on
// this platform; they exist so that a component can run in every mode, each handing out a working
// filter graph manager.
#include "platform/com/ComObject.h"
#include "platform/graph/GraphInterfaces.h"

#include <mutex>

namespace kestrine::platform {

class CaptureGraphBuilder final : public ComObject<ICaptureGraphBuilder2> {
public:
    // E_UNEXPECTED when a graph was already given or made.
    HRESULT SetFiltergraph(IGraphBuilder* graph) override;
    // The graph given, or a new one made on first request.
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID riid, void** ppv) override;
    // Renders every free output of source (an IBaseFilter in the graph) to the graph's renderers.
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
                         IBaseFilter* renderer) override;

private:
    std::mutex mutex_;
    ComPtr<IGraphBuilder> graph_;
};

class DvdGraphBuilder final : public ComObject<IDvdGraphBuilder> {
public:
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    // VFW_E_NOT_FOUND for the navigator's interfaces (there is no DVD), E_NOINTERFACE for any other.
    HRESULT GetDvdInterface(REFIID riid, void** ppv) override;
    HRESULT RenderDvdVideoVolume(LPCWSTR path, DWORD flags, void* status) override;

private:
    std::mutex mutex_;
    ComPtr<IGraphBuilder> graph_;
};

}  // namespace kestrine::platform
