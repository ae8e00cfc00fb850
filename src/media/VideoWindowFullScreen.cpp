// Where the video window's renderer window lies: over the control, or detached over the whole
// screen; and what follows the control's size, position and visibility.
#include "media/VideoWindow.h"
#include "media/VideoWindowHandles.h"

#include <QGuiApplication>
#include <QScreen>

namespace kestrine::media {

namespace {

constexpr platform::LONG kFrameStyles = platform::WS_CAPTION | platform::WS_THICKFRAME;
constexpr platform::LONG kEdgeExStyles =
    platform::WS_EX_DLGMODALFRAME | platform::WS_EX_WINDOWEDGE | platform::WS_EX_CLIENTEDGE | platform::WS_EX_STATICEDGE;

// The whole screen that holds the control's window (the primary one when it cannot be told), in the
// coordinates a top-level window is placed in.
QRect ScreenOf(const QWidget& control)
{
    const QScreen* screen = control.screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry() : QRect();
}

// Canvas stand-ins are odd numbers, which window handles never are.
platform::HWND CanvasHandle(const TVideoWindow* control) { return reinterpret_cast<platform::HWND>(control) | 1u; }

}  // namespace

void TVideoWindow::SetFullScreen(bool value)
{
    if (rendererWindow_) ApplyFullScreen(value);
    if (windowlessControl_) ownerlessFullScreen_ = false;
    fullScreen_ = value;
}

void TVideoWindow::ApplyFullScreen(bool value)
{
    platform::IVideoWindow& w = *rendererWindow_;
    if (value) {
        CheckMediaResult(w.put_Owner(0));
        CheckMediaResult(w.put_WindowStyle(savedStyle_ & ~kFrameStyles));
        platform::LONG exStyle = savedExStyle_ & ~kEdgeExStyles;
        if (fullScreenTopMost_) exStyle |= platform::WS_EX_TOPMOST;
        CheckMediaResult(w.put_WindowStyleEx(exStyle));
        const QRect screen = ScreenOf(*this);
        CheckMediaResult(w.SetWindowPosition(screen.left(), screen.top(), screen.width(), screen.height()));
        ownerlessFullScreen_ = true;
    } else {
        CheckMediaResult(w.put_Owner(static_cast<platform::OAHWND>(ParentHandle())));
        CheckMediaResult(w.put_WindowStyle(savedStyle_ | platform::WS_CHILD | platform::WS_CLIPSIBLINGS));
        CheckMediaResult(w.put_WindowStyleEx(savedExStyle_));
        const QRect r = geometry();
        CheckMediaResult(w.SetWindowPosition(r.left(), r.top(), r.width(), r.height()));
        ownerlessFullScreen_ = false;
    }
}

void TVideoWindow::SetFullScreenTopMost(bool value)
{
    fullScreenTopMost_ = value;
    if (fullScreen_) SetFullScreen(true);
}

void TVideoWindow::RepositionRenderer()
{
    if (mode_ == TVideoMode::vmNormal || vmrOptions_->Mode() == TVMRVideoMode::vmrWindowed) {
        if (rendererWindow_ && !fullScreen_) {
            const QRect r = geometry();
            rendererWindow_->SetWindowPosition(r.left(), r.top(), r.width(), r.height());
        }
    } else if (vmrOptions_->Mode() == TVMRVideoMode::vmrWindowless) {
        if (windowlessControl_) {
            const platform::RECT destination{0, 0, width(), height()};
            windowlessControl_->SetVideoPosition(nullptr, &destination);
        }
    }
}

void TVideoWindow::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    if (OnResize) OnResize(this);
    RepositionRenderer();
}

// A move without a change of size still has to carry the renderer window along.
void TVideoWindow::moveEvent(QMoveEvent* e)
{
    QWidget::moveEvent(e);
    RepositionRenderer();
}

void TVideoWindow::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (rendererWindow_) CheckMediaResult(rendererWindow_->put_Visible(visible ? platform::OATRUE : platform::OAFALSE));
}

platform::HWND TVideoWindow::VideoHandle() const
{
    if (rendererWindow_) return platform::FindWindowEx(ParentHandle(), 0, "VideoRenderer", objectName().toStdString().c_str());
    return CanvasHandle(this);
}

}  // namespace kestrine::media
