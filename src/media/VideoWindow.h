#pragma once
// TVideoWindow: the control that shows the video of one filter graph component inside a pane.
//
// It draws no video itself. Linked to a graph, it supplies a renderer filter (classic, or the mixing
// renderer windowed, windowless or renderless), configures it when the graph adds it, keeps the
// renderer's own window laid exactly over the control or spread over the whole screen, switches
// between stretching and letterboxing, and takes the input the renderer window passes on as its own
// events. Its window handle is what the renderer is owned by, clipped to and drains input into.
//
// All of it runs on the GUI thread.
#include <QPointer>
#include <QWidget>

#ifndef Q_MOC_RUN
#include "media/ComponentInterfaces.h"
#include "media/GraphLinks.h"
#include "media/MediaGraph.h"
#include "media/MediaGraphEventTypes.h"
#include "media/VMROptions.h"
#include "platform/com/ComPtr.h"
#include "platform/graph/MessageWindow.h"
#include "platform/render/RendererInterfaces.h"

#include <functional>
#include <memory>
#include <string>
#endif

class QMenu;

namespace kestrine::media {

enum class TVideoMode { vmNormal, vmVMR };

using TMouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;

// Makes the custom surface allocator for renderless drawing. It sets result (a failure stops the
// renderer's set-up with "Error Creating Allocator") and gets the control's window handle; the two
// trailing arguments are always passed empty. The object must answer IVMRSurfaceAllocator9.
using TAllocatorFactory = std::function<platform::ComPtr<platform::IUnknown>(
    platform::HRESULT& result, platform::HWND window, platform::IUnknown* display, platform::IUnknown* device)>;

// Window style bits the control reports of itself (see SavedStyle).
inline constexpr platform::LONG WS_VISIBLE = 0x10000000;
inline constexpr platform::LONG WS_CLIPCHILDREN = 0x02000000;
inline constexpr platform::LONG WS_TABSTOP = 0x00010000;

inline constexpr platform::UINT WM_CONTEXTMENU = 0x007B;

class TVideoWindow : public QWidget, public ComponentInterfaces<IGraphFilterProvider, IGraphListener> {
public:
    // The owner is also the parent widget.
    explicit TVideoWindow(QWidget* owner);
    // Unlinks first, exactly as SetFilterGraph(nullptr), before the options go.
    ~TVideoWindow() override;
    TVideoWindow(const TVideoWindow&) = delete;
    TVideoWindow& operator=(const TVideoWindow&) = delete;

    // Loading of the owner's settings has ended: the control's own styles are read now.
    void Loaded();
    // A component of the owner is going away; when it is the linked graph, the link is forgotten
    // without calling the graph.
    void ComponentRemoved(QObject* component);

    // vmVMR falls back to vmNormal when the mixing renderer cannot be made. On an active linked graph
    // the renderer is rebuilt, even for the same value.
    TVideoMode Mode() const { return mode_; }
    void SetMode(TVideoMode value);

    TVMROptions& VMROptions() { return *vmrOptions_; }
    const TVMROptions& VMROptions() const { return *vmrOptions_; }

    // The requested state; the renderer window follows it whenever there is one.
    bool FullScreen() const { return fullScreen_; }
    void SetFullScreen(bool value);
    bool FullScreenTopMost() const { return fullScreenTopMost_; }
    void SetFullScreenTopMost(bool value);
    // True only while the renderer window really is detached and covers the screen.
    bool OwnerlessFullScreen() const { return ownerlessFullScreen_; }

    TFilterGraph* FilterGraph() const { return filterGraph_.data(); }
    void SetFilterGraph(TFilterGraph* value);

    // The renderer's own window when there is one; otherwise the canvas stand-in, never a window.
    platform::HWND VideoHandle() const;
    // The control's own window handle.
    platform::HWND Handle() const;
    // The parent's window handle (made for the parent when it has none), 0 without a parent.
    platform::HWND ParentHandle() const;

    // Also shows or hides the renderer window.
    void setVisible(bool visible) override;

    // Whether the mixing renderer can be made on this thread now.
    static bool VMRAvailable();

    // The control's window style and extended style as read by Loaded: a visible child window that
    // clips its siblings and children (WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, plus WS_VISIBLE
    // and WS_TABSTOP as they apply), no extended bits.
    platform::LONG SavedStyle() const { return savedStyle_; }
    platform::LONG SavedExStyle() const { return savedExStyle_; }
    // The style as it is now, as the window stand-in gives it.
    platform::LONG WindowStyle() const;
    platform::LONG WindowStyleEx() const { return 0; }

    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool value) { setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus); }

    // Shown on a context menu when AutoPopup is set, in full screen at the cursor.
    QMenu* PopupMenu() const;
    void SetPopupMenu(QMenu* menu);
    bool PopupMenuAutoPopup = true;

    // The control's window procedure for messages sent to its handle. WM_CONTEXTMENU in full screen
    // never reaches the default handling (result 1).
    platform::LRESULT WindowProcedure(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);

    TNotifyEvent OnPaint, OnDblClick, OnClick, OnResize;
    TMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;

    // Renderless drawing; nothing in the editor sets it.
    TAllocatorFactory AllocatorFactory;
    platform::DWORD_PTR AllocatorUserId = 0;
    platform::ComPtr<platform::IUnknown> Allocator() const { return allocator_; }

    platform::ComPtr<platform::IBaseFilter> RendererFilter() const { return rendererFilter_; }
    platform::ComPtr<platform::IVideoWindow> RendererWindow() const { return rendererWindow_; }
    platform::ComPtr<platform::IVMRWindowlessControl9> WindowlessControl() const { return windowlessControl_; }

    // IGraphFilterProvider
    platform::HRESULT GetFilter(platform::IBaseFilter** filter) override;
    platform::HRESULT GetFilterName(std::string* name) override;
    platform::HRESULT FilterNotify(platform::LONG operation, platform::LONG param) override;
    // IGraphListener
    platform::HRESULT GraphEventNotify(platform::LONG code, platform::LONG_PTR param1, platform::LONG_PTR param2) override;
    platform::HRESULT GraphControlNotify(platform::LONG operation, platform::LONG value) override;

    // Used by the options: takes the renderer out of an active linked graph and builds it again.
    void ReinsertIntoActiveGraph();
    // Applies KeepAspectRatio to the renderer there is; nothing without one.
    void ApplyAspectRatio(bool keep);

protected:
    // Past the control's own interfaces (which never overlap these): the windowless control while
    // there is one, then whatever the renderer answers.
    platform::HRESULT QueryComponentFallback(platform::REFIID riid, void** ppv) override;

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    void CreateRenderer();
    void CreateMixingRenderer();
    void SetUpRenderless(platform::IVMRFilterConfig9& config);
    void ConfigureRenderer();
    void ApplyRenderingPrefs(platform::IVMRFilterConfig9& config);
    void TearDownRenderer();
    void ReleaseRenderer();
    void RepositionRenderer();
    void ApplyFullScreen(bool value);
    void AnnounceToRendererWindow();
    void Unlink();
    bool LinkedToActiveGraph() const;
    QPoint MousePoint(const QMouseEvent& e) const;
    bool ShowPopupMenuAt(QPoint global);

    TVideoMode mode_ = TVideoMode::vmNormal;
    std::unique_ptr<TVMROptions> vmrOptions_;
    bool fullScreen_ = false;
    QPointer<TFilterGraph> filterGraph_;
    QMetaObject::Connection graphGone_;
    platform::LONG savedStyle_ = 0;
    platform::LONG savedExStyle_ = 0;
    bool fullScreenTopMost_ = false;
    bool ownerlessFullScreen_ = false;
    QPointer<QMenu> popupMenu_;
    bool pressed_ = false;

    platform::ComPtr<platform::IUnknown> allocator_;
    platform::ComPtr<platform::IVMRSurfaceAllocator9> allocatorInterface_;  // keeps the allocator alive while advised
    platform::ComPtr<platform::IBaseFilter> rendererFilter_;
    platform::ComPtr<platform::IVideoWindow> rendererWindow_;
    platform::ComPtr<platform::IVMRWindowlessControl9> windowlessControl_;

    std::unique_ptr<platform::MessageWindow> window_;
};

}  // namespace kestrine::media
