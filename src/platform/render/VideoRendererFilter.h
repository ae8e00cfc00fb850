#pragma once
// The two video renderers: the classic one (a window of its own) and the mixing renderer, which
// draws windowed, windowless into a window it is given, or leaves drawing to a custom allocator.
// Both schedule pictures as MemoryRenderer does and paint them through a RendererWidget, which is
// registered as a "VideoRenderer" window so owners find it by its caption.
#include "platform/graph/MemoryRenderer.h"
#include "platform/graph/MessageWindow.h"
#include "platform/graph/VideoInfo.h"
#include "platform/render/FrameStore.h"
#include "platform/render/RendererInterfaces.h"

#include <QPointer>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace kestrine::platform {

class RendererWidget;

class VideoRendererFilter final : public MemoryRenderer {
public:
    enum class Kind { Classic, Mixing };

    // Only on the GUI thread: the renderer window is made here.
    explicit VideoRendererFilter(Kind kind);
    ~VideoRendererFilter() override;

    HRESULT GetClassID(CLSID* clsid) override;

    Kind RendererKind() const { return kind_; }
    DWORD RenderingMode() const { return mode_.load(); }
    bool Letterboxed() const { return aspectMode_ == VMR9AspectRatioMode_LetterBox; }
    // The widget the picture is painted into (for tests and diagnostics); null once it is gone.
    RendererWidget* Widget() const;
    // The message-window handle of the renderer window.
    HWND WindowHandle() const;
    // The advised custom allocator, if any (renderless mode).
    ComPtr<IVMRSurfaceAllocator9> Allocator() const { return allocator_; }

protected:
    void* QueryExtraInterface(REFIID riid) override;
    void Present(const Frame& frame) override;
    void PresentKept(const std::shared_ptr<const Frame>& frame) override;
    HRESULT PinConnected(Pin& pin) override;
    HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;

private:
    // Parts answer queries for every interface of the renderer, so each can be asked for the others.
    template <class... I>
    class Part : public ComPart<I...> {
    public:
        explicit Part(VideoRendererFilter& f) : ComPart<I...>(*f.IdentityUnknown()), filter(f) {}
        HRESULT QueryInterface(REFIID riid, void** ppv) override { return filter.QueryInterface(riid, ppv); }
        VideoRendererFilter& filter;
    };

    class WindowPart final : public Part<IVideoWindow> {
    public:
        using Part::Part;
        HRESULT put_Caption(const WCHAR* caption) override;
        HRESULT get_Caption(WCHAR** caption) override;
        HRESULT put_WindowStyle(LONG style) override;
        HRESULT get_WindowStyle(LONG* style) override;
        HRESULT put_WindowStyleEx(LONG style) override;
        HRESULT get_WindowStyleEx(LONG* style) override;
        HRESULT put_Visible(LONG visible) override;
        HRESULT get_Visible(LONG* visible) override;
        HRESULT put_Owner(OAHWND owner) override;
        HRESULT get_Owner(OAHWND* owner) override;
        HRESULT put_MessageDrain(OAHWND drain) override;
        HRESULT get_MessageDrain(OAHWND* drain) override;
        HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override;
        HRESULT GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) override;
    };

    class MixerPart final : public Part<IVMRFilterConfig9, IVMRAspectRatioControl9, IVMRSurfaceAllocatorNotify9> {
    public:
        using Part::Part;
        HRESULT SetNumberOfStreams(DWORD maxStreams) override;
        HRESULT GetNumberOfStreams(DWORD* maxStreams) override;
        HRESULT SetRenderingPrefs(DWORD prefs) override;
        HRESULT GetRenderingPrefs(DWORD* prefs) override;
        HRESULT SetRenderingMode(DWORD mode) override;
        HRESULT GetRenderingMode(DWORD* mode) override;
        HRESULT GetAspectRatioMode(DWORD* mode) override;
        HRESULT SetAspectRatioMode(DWORD mode) override;
        HRESULT AdviseSurfaceAllocator(DWORD_PTR userId, IVMRSurfaceAllocator9* allocator) override;
    };

    class WindowlessPart final : public Part<IVMRWindowlessControl9> {
    public:
        using Part::Part;
        HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) override;
        HRESULT SetVideoPosition(const RECT* source, const RECT* destination) override;
        HRESULT GetVideoPosition(RECT* source, RECT* destination) override;
        HRESULT SetAspectRatioMode(DWORD mode) override;
        HRESULT GetAspectRatioMode(DWORD* mode) override;
        HRESULT SetVideoClippingWindow(OAHWND window) override;
    };

    bool HasWindow() const { return kind_ == Kind::Classic || mode_ == VMR9Mode_Windowed; }
    void ApplyTopLevelFlags();
    void ApplyAspect();
    void ShowWidget(bool visible);

    const Kind kind_;
    std::shared_ptr<FrameStore> frames_ = std::make_shared<FrameStore>();
    QPointer<RendererWidget> widget_;
    std::unique_ptr<MessageWindow> window_;
    std::u16string caption_ = u"Video Renderer";
    LONG style_ = WS_CAPTION | WS_THICKFRAME | WS_CLIPSIBLINGS;
    LONG exStyle_ = WS_EX_WINDOWEDGE;
    HWND owner_ = 0;
    HWND clippingWindow_ = 0;
    bool hiddenByCaller_ = false;  // put_Visible(OAFALSE) stops the window showing itself on pause or run
    std::atomic<DWORD> mode_{VMR9Mode_Windowed};  // read by queries from any thread
    DWORD streams_ = 1;
    bool streamsSet_ = false;
    DWORD prefs_ = 0;
    DWORD aspectMode_ = VMR9AspectRatioMode_None;
    DWORD_PTR allocatorUserId_ = 0;
    ComPtr<IVMRSurfaceAllocator9> allocator_;
    std::atomic<LONG> videoWidth_{0};
    std::atomic<LONG> videoHeight_{0};
    std::atomic<LONG> aspectX_{0};  // the shape the picture is shown in
    std::atomic<LONG> aspectY_{0};
    bool deviceReported_ = false;
    mutable std::mutex layoutMutex_;
    std::optional<VideoInfo> layout_;  // how the connected pin lays out its pictures

    WindowPart windowPart_{*this};
    MixerPart mixerPart_{*this};
    WindowlessPart windowlessPart_{*this};
};

}  // namespace kestrine::platform
