#include "platform/render/VideoRendererFilter.h"

#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/render/PictureImage.h"
#include "platform/render/RendererWidget.h"

#include <QCoreApplication>
#include <QThread>

#include <cstring>

namespace kestrine::platform {
namespace {

constexpr DWORD kKnownRenderingPrefs = 0x3F;

// Runs f on the widget's thread: at once when that is this thread, otherwise queued behind it.
template <class F>
void OnWidgetThread(QWidget* w, F f)
{
    if (w == nullptr) return;
    if (QThread::currentThread() == w->thread()) f();
    else QMetaObject::invokeMethod(w, std::move(f), Qt::QueuedConnection);
}

}  // namespace

VideoRendererFilter::VideoRendererFilter(Kind kind) : MemoryRenderer(MEDIATYPE_Video, {MEDIASUBTYPE_RGB32}), kind_(kind)
{
    SetDropsLateFrames(true);  // a picture shown late is worse than one not shown
    widget_ = new RendererWidget(frames_);  // top-level until an owner takes it; deleted in the destructor
    widget_->setWindowTitle(QString::fromStdU16String(caption_));
    widget_->resize(320, 240);
    window_ = std::make_unique<MessageWindow>("VideoRenderer", ToUtf8(caption_), [](UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, 0,
                                              widget_.data());
    ApplyTopLevelFlags();
}

VideoRendererFilter::~VideoRendererFilter()
{
    window_.reset();
    if (widget_) {
        if (QThread::currentThread() == widget_->thread()) delete widget_.data();
        else widget_->deleteLater();
    }
}

HRESULT VideoRendererFilter::GetClassID(CLSID* clsid)
{
    if (clsid == nullptr) return E_POINTER;
    *clsid = kind_ == Kind::Classic ? CLSID_VideoRenderer : CLSID_VideoMixingRenderer9;
    return S_OK;
}

RendererWidget* VideoRendererFilter::Widget() const { return widget_.data(); }

HWND VideoRendererFilter::WindowHandle() const { return window_ ? window_->Handle() : 0; }

void* VideoRendererFilter::QueryExtraInterface(REFIID riid)
{
    if (riid == IVideoWindow::kIid) return HasWindow() ? static_cast<IVideoWindow*>(&windowPart_) : nullptr;
    if (kind_ == Kind::Mixing) {
        if (riid == IVMRFilterConfig9::kIid) return static_cast<IVMRFilterConfig9*>(&mixerPart_);
        if (riid == IVMRAspectRatioControl9::kIid) return static_cast<IVMRAspectRatioControl9*>(&mixerPart_);
        if (riid == IVMRSurfaceAllocatorNotify9::kIid) return static_cast<IVMRSurfaceAllocatorNotify9*>(&mixerPart_);
        if (riid == IVMRWindowlessControl9::kIid && mode_ == VMR9Mode_Windowless) return static_cast<IVMRWindowlessControl9*>(&windowlessPart_);
    }
    return MemoryRenderer::QueryExtraInterface(riid);
}

// Hands the decoder's picture to the window, on the streaming thread.
void VideoRendererFilter::Present(const Frame& frame)
{
    std::optional<VideoInfo> layout;
    {
        std::lock_guard lock(layoutMutex_);
        layout = layout_;
    }
    if (!layout) return;
    QImage image = PictureImage(frame.data, *layout);
    if (image.isNull()) return;  // a short sample is dropped, never read past
    frames_->Store(std::move(image));
}

// A top-down picture, as the decoders give, is painted straight from the frame's bytes, which the
// image keeps alive; other layouts are converted by Present.
void VideoRendererFilter::PresentKept(const std::shared_ptr<const Frame>& frame)
{
    std::optional<VideoInfo> layout;
    {
        std::lock_guard lock(layoutMutex_);
        layout = layout_;
    }
    if (!layout || !layout->topDown || layout->bitCount != 32 || layout->compression != 0 || frame->data.size() < layout->PictureBytes()) {
        Present(*frame);
        return;
    }
    using Kept = std::shared_ptr<const Frame>;
    auto kept = std::make_unique<Kept>(frame);
    QImage image(frame->data.data(), layout->width, layout->height, static_cast<qsizetype>(layout->Stride()), QImage::Format_RGB32,
                 [](void* p) { delete static_cast<Kept*>(p); }, kept.get());
    kept.release();  // the image owns it now and lets it go with its last copy
    frames_->Store(std::move(image));
}

HRESULT VideoRendererFilter::PinConnected(Pin& pin)
{
    const std::optional<VideoInfo> layout = VideoInfo::Parse(pin.ConnectedType());
    if (!layout) return VFW_E_TYPE_NOT_ACCEPTED;
    const LONG w = layout->width;
    const LONG height = layout->height;
    const bool changed = w != videoWidth_.load() || height != videoHeight_.load();
    {
        std::lock_guard lock(layoutMutex_);
        layout_ = layout;
    }
    videoWidth_ = w;
    videoHeight_ = height;
    aspectX_ = layout->DisplayAspectX();
    aspectY_ = layout->DisplayAspectY();
    OnWidgetThread(widget_.data(), [widget = widget_, aspect = QSize(aspectX_.load(), aspectY_.load())] {
        if (widget) widget->SetPictureAspect(aspect);
    });
    if (changed) NotifyEvent(EC_VIDEO_SIZE_CHANGED, PackVideoSize(w, height), 0);
    if (kind_ == Kind::Mixing && mode_ == VMR9Mode_Windowed && !deviceReported_) {
        deviceReported_ = true;  // the window is the drawing surface, ready once the picture size is known
        NotifyEvent(EC_VMR_RENDERDEVICE_SET, 0, 0);
    }
    return S_OK;
}

HRESULT VideoRendererFilter::OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start)
{
    const HRESULT hr = MemoryRenderer::OnStateChange(from, to, start);
    // Like a renderer's own window, it shows itself when the graph starts unless it was hidden on purpose.
    if (from == State_Stopped && to != State_Stopped && HasWindow() && !hiddenByCaller_) ShowWidget(true);
    return hr;
}

void VideoRendererFilter::ShowWidget(bool visible)
{
    QWidget* w = widget_.data();
    OnWidgetThread(w, [p = QPointer<QWidget>(w), visible] {
        if (p) p->setVisible(visible);
    });
}

void VideoRendererFilter::ApplyTopLevelFlags()
{
    RendererWidget* w = widget_.data();
    if (w == nullptr || w->parentWidget() != nullptr) return;
    Qt::WindowFlags flags = Qt::Window;
    if ((style_ & WS_CAPTION) != WS_CAPTION) flags |= Qt::FramelessWindowHint;
    if ((exStyle_ & WS_EX_TOPMOST) != 0) flags |= Qt::WindowStaysOnTopHint;
    if (w->windowFlags() == flags) return;
    const bool wasVisible = w->isVisible();
    w->setWindowFlags(flags);
    if (wasVisible) w->show();
}

void VideoRendererFilter::ApplyAspect()
{
    if (widget_) widget_->SetLetterbox(aspectMode_ == VMR9AspectRatioMode_LetterBox);
}

// ---- IVideoWindow -------------------------------------------------------------------------------

HRESULT VideoRendererFilter::WindowPart::put_Caption(const WCHAR* caption)
{
    if (caption == nullptr) return E_POINTER;
    filter.caption_ = caption;
    if (filter.widget_) filter.widget_->setWindowTitle(QString::fromStdU16String(filter.caption_));
    if (filter.window_) filter.window_->SetTitle(ToUtf8(filter.caption_));
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::get_Caption(WCHAR** caption)
{
    if (caption == nullptr) return E_POINTER;
    *caption = CoTaskStrDup(filter.caption_.c_str());
    return *caption ? S_OK : E_OUTOFMEMORY;
}

HRESULT VideoRendererFilter::WindowPart::put_WindowStyle(LONG style)
{
    filter.style_ = style;
    filter.ApplyTopLevelFlags();
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::get_WindowStyle(LONG* style)
{
    if (style == nullptr) return E_POINTER;
    *style = filter.style_;
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::put_WindowStyleEx(LONG style)
{
    filter.exStyle_ = style;
    filter.ApplyTopLevelFlags();
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::get_WindowStyleEx(LONG* style)
{
    if (style == nullptr) return E_POINTER;
    *style = filter.exStyle_;
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::put_Visible(LONG visible)
{
    if (visible != OATRUE && visible != OAFALSE) return E_INVALIDARG;
    if (!filter.widget_) return E_UNEXPECTED;
    filter.hiddenByCaller_ = visible == OAFALSE;
    filter.widget_->setVisible(visible == OATRUE);
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::get_Visible(LONG* visible)
{
    if (visible == nullptr) return E_POINTER;
    *visible = filter.widget_ && filter.widget_->isVisible() ? OATRUE : OAFALSE;
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::put_Owner(OAHWND owner)
{
    RendererWidget* w = filter.widget_.data();
    if (w == nullptr) return E_UNEXPECTED;
    const HWND handle = static_cast<HWND>(owner);
    QWidget* ownerWidget = nullptr;
    if (handle != 0) {
        ownerWidget = WindowWidget(handle);
        if (ownerWidget == nullptr) return E_INVALIDARG;  // a handle we cannot place the window in
    }
    const bool wasVisible = w->isVisible() || (!filter.hiddenByCaller_ && w->parentWidget() != ownerWidget && w->isVisibleTo(w->parentWidget()));
    filter.owner_ = handle;
    if (ownerWidget != nullptr) {
        if (w->parentWidget() != ownerWidget) w->setParent(ownerWidget, Qt::Widget);
    } else if (w->parentWidget() != nullptr) {
        w->setParent(nullptr, Qt::Window);
    }
    filter.ApplyTopLevelFlags();
    if (filter.window_) filter.window_->SetParent(handle);
    if (wasVisible) w->show();
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::get_Owner(OAHWND* owner)
{
    if (owner == nullptr) return E_POINTER;
    *owner = static_cast<OAHWND>(filter.owner_);
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::put_MessageDrain(OAHWND drain)
{
    if (!filter.widget_) return E_UNEXPECTED;
    filter.widget_->SetDrain(static_cast<HWND>(drain));
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::get_MessageDrain(OAHWND* drain)
{
    if (drain == nullptr) return E_POINTER;
    *drain = filter.widget_ ? static_cast<OAHWND>(filter.widget_->Drain()) : 0;
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::SetWindowPosition(LONG left, LONG top, LONG width, LONG height)
{
    if (width < 0 || height < 0) return E_INVALIDARG;
    if (!filter.widget_) return E_UNEXPECTED;
    filter.widget_->setGeometry(left, top, width, height);
    return S_OK;
}

HRESULT VideoRendererFilter::WindowPart::GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height)
{
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    if (!filter.widget_) return E_UNEXPECTED;
    const QRect g = filter.widget_->geometry();
    *left = g.left();
    *top = g.top();
    *width = g.width();
    *height = g.height();
    return S_OK;
}

// ---- IVMRFilterConfig9, IVMRAspectRatioControl9, IVMRSurfaceAllocatorNotify9 ---------------------

HRESULT VideoRendererFilter::MixerPart::SetNumberOfStreams(DWORD maxStreams)
{
    if (maxStreams < 1 || maxStreams > kMaxMixerStreams) return E_INVALIDARG;
    if (filter.PinAt(0).IsConnected()) return VFW_E_WRONG_STATE;
    filter.streams_ = maxStreams;
    filter.streamsSet_ = true;
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::GetNumberOfStreams(DWORD* maxStreams)
{
    if (maxStreams == nullptr) return E_POINTER;
    *maxStreams = filter.streams_;
    return filter.streamsSet_ ? S_OK : VFW_E_WRONG_STATE;
}

HRESULT VideoRendererFilter::MixerPart::SetRenderingPrefs(DWORD prefs)
{
    if ((prefs & ~kKnownRenderingPrefs) != 0) return E_INVALIDARG;
    filter.prefs_ = prefs;
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::GetRenderingPrefs(DWORD* prefs)
{
    if (prefs == nullptr) return E_POINTER;
    *prefs = filter.prefs_;
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::SetRenderingMode(DWORD mode)
{
    if (mode != VMR9Mode_Windowed && mode != VMR9Mode_Windowless && mode != VMR9Mode_Renderless) return E_INVALIDARG;
    if (filter.PinAt(0).IsConnected()) return VFW_E_WRONG_STATE;
    filter.mode_ = mode;
    if (mode != VMR9Mode_Windowed && filter.widget_) {
        // No window of its own: it draws into the clipping window, or not at all.
        filter.widget_->hide();
        filter.widget_->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    }
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::GetRenderingMode(DWORD* mode)
{
    if (mode == nullptr) return E_POINTER;
    *mode = filter.mode_;
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::GetAspectRatioMode(DWORD* mode)
{
    if (mode == nullptr) return E_POINTER;
    *mode = filter.aspectMode_;
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::SetAspectRatioMode(DWORD mode)
{
    if (mode != VMR9AspectRatioMode_None && mode != VMR9AspectRatioMode_LetterBox) return E_INVALIDARG;
    filter.aspectMode_ = mode;
    filter.ApplyAspect();
    return S_OK;
}

HRESULT VideoRendererFilter::MixerPart::AdviseSurfaceAllocator(DWORD_PTR userId, IVMRSurfaceAllocator9* allocator)
{
    if (filter.mode_ != VMR9Mode_Renderless) return VFW_E_WRONG_STATE;
    filter.allocatorUserId_ = userId;
    filter.allocator_ = ComPtr<IVMRSurfaceAllocator9>(allocator);
    return S_OK;
}

// ---- IVMRWindowlessControl9 ----------------------------------------------------------------------

HRESULT VideoRendererFilter::WindowlessPart::GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight)
{
    if (width == nullptr || height == nullptr) return E_POINTER;
    *width = filter.videoWidth_.load();
    *height = filter.videoHeight_.load();
    if (arWidth) *arWidth = filter.aspectX_.load();
    if (arHeight) *arHeight = filter.aspectY_.load();
    return S_OK;
}

HRESULT VideoRendererFilter::WindowlessPart::SetVideoPosition(const RECT*, const RECT* destination)
{
    if (!filter.widget_) return E_UNEXPECTED;
    if (destination == nullptr) return S_OK;
    if (destination->right < destination->left || destination->bottom < destination->top) return E_INVALIDARG;
    filter.widget_->setGeometry(destination->left, destination->top, destination->right - destination->left, destination->bottom - destination->top);
    return S_OK;
}

HRESULT VideoRendererFilter::WindowlessPart::GetVideoPosition(RECT* source, RECT* destination)
{
    if (!filter.widget_) return E_UNEXPECTED;
    if (source) *source = RECT{0, 0, filter.videoWidth_.load(), filter.videoHeight_.load()};
    if (destination) {
        const QRect g = filter.widget_->geometry();
        *destination = RECT{g.left(), g.top(), g.right() + 1, g.bottom() + 1};
    }
    return S_OK;
}

HRESULT VideoRendererFilter::WindowlessPart::SetAspectRatioMode(DWORD mode) { return filter.mixerPart_.SetAspectRatioMode(mode); }

HRESULT VideoRendererFilter::WindowlessPart::GetAspectRatioMode(DWORD* mode) { return filter.mixerPart_.GetAspectRatioMode(mode); }

HRESULT VideoRendererFilter::WindowlessPart::SetVideoClippingWindow(OAHWND window)
{
    RendererWidget* w = filter.widget_.data();
    if (w == nullptr) return E_UNEXPECTED;
    QWidget* target = WindowWidget(static_cast<HWND>(window));
    if (target == nullptr) return E_INVALIDARG;
    filter.clippingWindow_ = static_cast<HWND>(window);
    // Painted as part of the clipping window; input stays the clipping window's own.
    w->setParent(target, Qt::Widget);
    w->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    w->setGeometry(target->rect());
    if (filter.window_) filter.window_->SetParent(filter.clippingWindow_);
    w->show();
    return S_OK;
}

}  // namespace kestrine::platform
