#include "media/VideoWindow.h"

#include "media/VideoWindowHandles.h"
#include "platform/GuardedApplication.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/EventCodes.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <exception>

namespace kestrine::media {

using platform::ComPtr;
using platform::HRESULT;

TVideoWindow::TVideoWindow(QWidget* owner) : QWidget(owner), vmrOptions_(std::make_unique<TVMROptions>(*this))
{
    // Clicks and double-clicks are the control's own events; the mouse is held while a button is down
    // (Qt grabs it implicitly). Child widgets are accepted: windowless drawing lands in one.
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetTabStop(true);
    resize(160, 120);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(false);
    window_ = std::make_unique<platform::MessageWindow>(
        "TVideoWindow", std::string(),
        [this](platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) { return WindowProcedure(message, wParam, lParam); },
        0, this);
}

TVideoWindow::~TVideoWindow()
{
    try {
        SetFilterGraph(nullptr);
    } catch (...) {
        // Taking the renderer down failed; the graph must still not be left holding this control.
        platform::ShowEscapedException(std::current_exception());
        Unlink();
    }
    ReleaseRenderer();
    window_.reset();
    vmrOptions_.reset();
}

void TVideoWindow::Loaded()
{
    savedStyle_ = WindowStyle();
    savedExStyle_ = WindowStyleEx();
    // The name is known once loading has finished; lookups by title find the control under it.
    if (window_) window_->SetTitle(objectName().toStdString());
}

platform::LONG TVideoWindow::WindowStyle() const
{
    platform::LONG style = platform::WS_CHILD | platform::WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (!isHidden()) style |= WS_VISIBLE;
    if (TabStop()) style |= WS_TABSTOP;
    return style;
}

platform::HWND TVideoWindow::Handle() const { return window_ ? window_->Handle() : 0; }

platform::HWND TVideoWindow::ParentHandle() const { return WindowHandleForWidget(parentWidget()); }

QMenu* TVideoWindow::PopupMenu() const { return popupMenu_.data(); }

void TVideoWindow::SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

// ---- Linking ------------------------------------------------------------------------------------

void TVideoWindow::ComponentRemoved(QObject* component)
{
    if (component == nullptr || component != filterGraph_.data()) return;
    QObject::disconnect(graphGone_);
    filterGraph_.clear();
}

void TVideoWindow::SetFilterGraph(TFilterGraph* value)
{
    if (value == filterGraph_.data()) return;
    if (TFilterGraph* old = filterGraph_.data()) {
        old->RemoveLinkedFilter(this);
        old->RemoveGraphListener(this);
        QObject::disconnect(graphGone_);
        filterGraph_.clear();
    }
    if (value == nullptr) return;
    std::exception_ptr failure;
    try {
        value->InsertLinkedFilter(this);
    } catch (...) {
        // The graph holds this control in its list already; the link is completed so that the
        // control still knows the graph and takes itself out of it later.
        failure = std::current_exception();
    }
    value->AddGraphListener(this);
    filterGraph_ = value;
    graphGone_ = QObject::connect(value, &QObject::destroyed, this, [this, value] { ComponentRemoved(value); });
    if (failure) std::rethrow_exception(failure);
}

// Only the lists are touched: used when the renderer could not be taken down on the way out.
void TVideoWindow::Unlink()
{
    if (TFilterGraph* graph = filterGraph_.data()) {
        graph->RemoveLinkedFilter(this);
        graph->RemoveGraphListener(this);
    }
    QObject::disconnect(graphGone_);
    filterGraph_.clear();
}

bool TVideoWindow::LinkedToActiveGraph() const { return filterGraph_ && filterGraph_->Active(); }

void TVideoWindow::ReinsertIntoActiveGraph()
{
    if (!LinkedToActiveGraph()) return;
    filterGraph_->RemoveLinkedFilter(this);
    filterGraph_->InsertLinkedFilter(this);
}

void TVideoWindow::SetMode(TVideoMode value)
{
    mode_ = value == TVideoMode::vmVMR && !VMRAvailable() ? TVideoMode::vmNormal : value;
    ReinsertIntoActiveGraph();
}

bool TVideoWindow::VMRAvailable()
{
    FloatingPointEnvironmentGuard keepFloatingPoint;
    ComPtr<platform::IBaseFilter> probe;
    const HRESULT hr = platform::CoCreateInstance(platform::CLSID_VideoMixingRenderer9, nullptr, platform::CLSCTX_INPROC, platform::IID_IBaseFilter,
                                                  reinterpret_cast<void**>(probe.GetAddressOf()));
    return hr == platform::S_OK;
}

// ---- Interfaces ---------------------------------------------------------------------------------

HRESULT TVideoWindow::QueryComponentFallback(platform::REFIID riid, void** ppv)
{
    if (riid == platform::IID_IVMRWindowlessControl9 && windowlessControl_) {
        windowlessControl_->AddRef();
        *ppv = windowlessControl_.Get();
        return platform::S_OK;
    }
    if (rendererFilter_) return rendererFilter_->QueryInterface(riid, ppv);
    return platform::E_NOINTERFACE;
}

HRESULT TVideoWindow::GetFilter(platform::IBaseFilter** filter)
{
    if (filter == nullptr) return platform::E_POINTER;
    *filter = rendererFilter_.Get();
    if (*filter != nullptr) (*filter)->AddRef();
    return platform::S_OK;
}

HRESULT TVideoWindow::GetFilterName(std::string* name)
{
    if (name == nullptr) return platform::E_POINTER;
    *name = objectName().toStdString();
    return platform::S_OK;
}

HRESULT TVideoWindow::FilterNotify(platform::LONG operation, platform::LONG)
{
    switch (operation) {
    case kFilterBeforeAdd: CreateRenderer(); break;
    case kFilterAdded: ConfigureRenderer(); break;
    case kFilterBeforeRemove: TearDownRenderer(); break;
    case kFilterRemoved: ReleaseRenderer(); break;
    default: break;
    }
    return platform::S_OK;
}

// The renderer window carries the component's name as its caption, so VideoHandle finds it, and
// hands its input to this control.
void TVideoWindow::AnnounceToRendererWindow()
{
    CheckMediaResult(rendererWindow_->put_Caption(platform::ToWide(objectName().toStdString()).c_str()));
    CheckMediaResult(rendererWindow_->put_MessageDrain(static_cast<platform::OAHWND>(Handle())));
}

HRESULT TVideoWindow::GraphEventNotify(platform::LONG code, platform::LONG_PTR, platform::LONG_PTR)
{
    if (code == platform::EC_PALETTE_CHANGED && rendererWindow_) {
        SetFullScreen(fullScreen_);
        AnnounceToRendererWindow();
    } else if (code == platform::EC_VMR_RENDERDEVICE_SET && vmrOptions_->Mode() == TVMRVideoMode::vmrWindowed && rendererWindow_) {
        AnnounceToRendererWindow();
    }
    return platform::S_OK;
}

HRESULT TVideoWindow::GraphControlNotify(platform::LONG operation, platform::LONG)
{
    if (operation != kControlPlay) return platform::S_OK;
    if (mode_ == TVideoMode::vmNormal) {
        if (rendererWindow_) {
            SetFullScreen(fullScreen_);
            AnnounceToRendererWindow();
        }
    } else {
        SetFullScreen(fullScreen_);
    }
    return platform::S_OK;
}

// ---- Input and painting -------------------------------------------------------------------------

QPoint TVideoWindow::MousePoint(const QMouseEvent& e) const
{
    // Detached over the whole screen, the control's own coordinates mean nothing: the cursor's do.
    return ownerlessFullScreen_ ? QCursor::pos() : e.position().toPoint();
}

void TVideoWindow::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) pressed_ = true;
    const QPoint p = MousePoint(*e);
    if (OnMouseDown) OnMouseDown(this, e->button(), e->modifiers(), p.x(), p.y());
    e->accept();
}

void TVideoWindow::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = MousePoint(*e);
    if (OnMouseMove) OnMouseMove(this, Qt::NoButton, e->modifiers(), p.x(), p.y());
    e->accept();
}

void TVideoWindow::mouseReleaseEvent(QMouseEvent* e)
{
    const bool click = e->button() == Qt::LeftButton && pressed_ && (ownerlessFullScreen_ || rect().contains(e->position().toPoint()));
    if (e->button() == Qt::LeftButton) pressed_ = false;
    if (click && OnClick) OnClick(this);
    const QPoint p = MousePoint(*e);
    if (OnMouseUp) OnMouseUp(this, e->button(), e->modifiers(), p.x(), p.y());
    e->accept();
}

void TVideoWindow::mouseDoubleClickEvent(QMouseEvent* e)
{
    // The second press of a double-click: the double-click first, then the press itself.
    if (OnDblClick) OnDblClick(this);
    mousePressEvent(e);
}

bool TVideoWindow::ShowPopupMenuAt(QPoint global)
{
    if (!popupMenu_ || !PopupMenuAutoPopup) return false;
    popupMenu_->popup(global);
    return true;
}

void TVideoWindow::contextMenuEvent(QContextMenuEvent* e)
{
    if (fullScreen_) {
        // Over the whole screen there is nothing behind the video to pass the request on to.
        ShowPopupMenuAt(QCursor::pos());
        e->accept();
        return;
    }
    if (ShowPopupMenuAt(e->globalPos())) e->accept();
    else e->ignore();
}

platform::LRESULT TVideoWindow::WindowProcedure(platform::UINT message, platform::WPARAM, platform::LPARAM lParam)
{
    if (message != WM_CONTEXTMENU) return 0;
    if (fullScreen_) {
        ShowPopupMenuAt(QCursor::pos());
        return 1;
    }
    // lParam carries the screen point, x in the low word and y in the high word, both signed.
    const auto x = static_cast<std::int16_t>(lParam & 0xFFFF);
    const auto y = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
    return ShowPopupMenuAt(QPoint(x, y)) ? 1 : 0;
}

void TVideoWindow::paintEvent(QPaintEvent*)
{
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
    if (OnPaint) OnPaint(this);
}

}  // namespace kestrine::media
