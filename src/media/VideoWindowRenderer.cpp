// The video window's renderer: made before the graph adds it, configured after, taken down before
// the graph removes it and dropped after.
#include "media/MediaGraphUtil.h"
#include "media/VideoWindow.h"
#include "media/VideoWindowHandles.h"
#include "platform/com/ComRuntime.h"

namespace kestrine::media {

using platform::ComPtr;
using platform::HRESULT;

namespace {

template <class I>
HRESULT QueryInto(platform::IUnknown& object, ComPtr<I>& out)
{
    return object.QueryInterface(I::kIid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
}

constexpr TVMRPreferences kForceMixer = PreferenceBit(vpForceMixer);

}  // namespace

void TVideoWindow::CreateRenderer()
{
    if (mode_ == TVideoMode::vmNormal) {
        // A renderer that cannot be made leaves the filter empty; the later steps skip their work.
        platform::CoCreateInstance(platform::CLSID_VideoRenderer, nullptr, platform::CLSCTX_INPROC_SERVER, platform::IID_IBaseFilter,
                                   reinterpret_cast<void**>(rendererFilter_.ReleaseAndGetAddressOf()));
        return;
    }
    FloatingPointEnvironmentGuard keepFloatingPoint;
    CreateMixingRenderer();
}

void TVideoWindow::CreateMixingRenderer()
{
    platform::CoCreateInstance(platform::CLSID_VideoMixingRenderer9, nullptr, platform::CLSCTX_INPROC, platform::IID_IBaseFilter,
                               reinterpret_cast<void**>(rendererFilter_.ReleaseAndGetAddressOf()));
    if (!rendererFilter_) return;
    ComPtr<platform::IVMRFilterConfig9> config;
    QueryInto(*rendererFilter_, config);
    if (!config) return;
    switch (vmrOptions_->Mode()) {
    case TVMRVideoMode::vmrWindowed: CheckMediaResult(config->SetRenderingMode(platform::VMR9Mode_Windowed)); break;
    case TVMRVideoMode::vmrWindowless: CheckMediaResult(config->SetRenderingMode(platform::VMR9Mode_Windowless)); break;
    case TVMRVideoMode::vmrRenderless: SetUpRenderless(*config); break;
    }
}

void TVideoWindow::SetUpRenderless(platform::IVMRFilterConfig9& config)
{
    if (!AllocatorFactory) throw EMediaGraphException("Allocator class not set.");
    HRESULT result = platform::S_OK;
    allocator_ = AllocatorFactory(result, Handle(), nullptr, nullptr);
    if (platform::FAILED(result)) throw EMediaGraphException("Error Creating Allocator", result);
    // A factory that claims success but gives nothing has not made an allocator either.
    if (!allocator_) throw EMediaGraphException("Error Creating Allocator", platform::E_POINTER);
    CheckMediaResult(config.SetRenderingMode(platform::VMR9Mode_Renderless));
    ComPtr<platform::IVMRSurfaceAllocatorNotify9> notify;
    CheckMediaResult(QueryInto(*rendererFilter_, notify));
    ComPtr<platform::IVMRSurfaceAllocator9> surfaceAllocator;
    CheckMediaResult(QueryInto(*allocator_, surfaceAllocator));
    notify->AdviseSurfaceAllocator(AllocatorUserId, surfaceAllocator.Get());
    allocatorInterface_ = surfaceAllocator;
    surfaceAllocator->AdviseNotify(notify.Get());
}

void TVideoWindow::ConfigureRenderer()
{
    if (mode_ == TVideoMode::vmNormal) {
        if (!rendererFilter_) return;
        CheckMediaResult(QueryInto(*rendererFilter_, rendererWindow_));
        return;
    }
    if (!rendererFilter_) return;
    ComPtr<platform::IVMRFilterConfig9> config;
    if (CheckMediaResult(QueryInto(*rendererFilter_, config)) != platform::S_OK) return;
    TVMROptions& options = *vmrOptions_;
    if (options.Streams() != 4 || (options.Preferences() & kForceMixer) != 0) {
        CheckMediaResult(config->SetNumberOfStreams(options.Streams()));
        platform::DWORD streams = 0;
        CheckMediaResult(config->GetNumberOfStreams(&streams));
        options.StoreStreamsReadBack(streams);
    }
    switch (options.Mode()) {
    case TVMRVideoMode::vmrWindowed:
        CheckMediaResult(QueryInto(*rendererFilter_, rendererWindow_));
        ApplyRenderingPrefs(*config);
        break;
    case TVMRVideoMode::vmrWindowless:
        CheckMediaResult(QueryInto(*rendererFilter_, windowlessControl_));
        CheckMediaResult(windowlessControl_->SetVideoClippingWindow(static_cast<platform::OAHWND>(Handle())));
        ApplyRenderingPrefs(*config);
        RepositionRenderer();
        break;
    case TVMRVideoMode::vmrRenderless: break;
    }
    config.Reset();
    options.SetKeepAspectRatio(options.KeepAspectRatio());
}

void TVideoWindow::ApplyRenderingPrefs(platform::IVMRFilterConfig9& config)
{
    TVMROptions& options = *vmrOptions_;
    const TVMRPreferences before = options.Preferences();
    CheckMediaResult(config.SetRenderingPrefs(static_cast<platform::DWORD>(before & ~kForceMixer)));
    platform::DWORD readBack = 0;
    CheckMediaResult(config.GetRenderingPrefs(&readBack));
    auto now = static_cast<TVMRPreferences>(readBack & 0xFF);
    if ((before & kForceMixer) != 0) now = static_cast<TVMRPreferences>(now | kForceMixer);
    options.StorePreferencesReadBack(now);
}

void TVideoWindow::ApplyAspectRatio(bool keep)
{
    const TVMRVideoMode mode = vmrOptions_->Mode();
    if (mode != TVMRVideoMode::vmrWindowed && mode != TVMRVideoMode::vmrWindowless) return;
    ComPtr<platform::IVMRAspectRatioControl9> aspect;
    if (QueryInterface(platform::IID_IVMRAspectRatioControl9, reinterpret_cast<void**>(aspect.GetAddressOf())) != platform::S_OK || !aspect) return;
    CheckMediaResult(aspect->SetAspectRatioMode(keep ? platform::VMR9AspectRatioMode_LetterBox : platform::VMR9AspectRatioMode_None));
}

void TVideoWindow::TearDownRenderer()
{
    if (!rendererFilter_) return;
    CheckMediaResult(rendererFilter_->Stop());
    {
        TPinList pins(rendererFilter_.Get());
        for (std::size_t i = 0; i < pins.Count(); ++i) CheckMediaResult(pins.Items(i)->Disconnect());
    }
    if (allocator_ && mode_ == TVideoMode::vmVMR && vmrOptions_->Mode() == TVMRVideoMode::vmrRenderless) {
        allocatorInterface_.Reset();
        allocator_.Reset();
    }
}

void TVideoWindow::ReleaseRenderer()
{
    rendererWindow_.Reset();
    windowlessControl_.Reset();
    rendererFilter_.Reset();
}

}  // namespace kestrine::media
