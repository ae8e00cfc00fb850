// Full screen and the input the renderer window passes on: the detached, captionless window over
// the whole screen and its way back, top-most, the play operation re-applying it, mouse events with
// the cursor's screen point and the context menu swallowed in full screen.
#include "VideoWindowTestSupport.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace kestrine::media::testing {
namespace {

struct MouseCall {
    QObject* sender;
    Qt::MouseButton button;
    int x;
    int y;
};

// Counts the context-menu requests that reach a widget.
class ContextMenuCounter final : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::ContextMenu) ++count;
        return false;
    }
};

class VideoWindowFullScreen : public VideoWindowTest {
protected:
    void SetUp() override
    {
        VideoWindowTest::SetUp();
        video->SetMode(TVideoMode::vmVMR);
        video->VMROptions().SetKeepAspectRatio(false);
        video->OnMouseDown = [this](QObject* s, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) { downs.push_back({s, b, x, y}); };
        video->OnDblClick = [this](QObject* s) { doubleClicks.push_back(s); };
    }

    QWidget& RendererWidget() const { return *Renderer().Widget(); }

    LONG Style() const
    {
        LONG s = 0;
        video->RendererWindow()->get_WindowStyle(&s);
        return s;
    }
    LONG ExStyle() const
    {
        LONG s = 0;
        video->RendererWindow()->get_WindowStyleEx(&s);
        return s;
    }

    // A mouse event on the renderer window at a point of its own.
    void MouseOnRenderer(QEvent::Type type, Qt::MouseButton button, QPoint local)
    {
        QWidget& w = RendererWidget();
        QMouseEvent e(type, QPointF(local), QPointF(w.mapToGlobal(local)), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &e);
    }

    void ContextMenuOnRenderer()
    {
        QWidget& w = RendererWidget();
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(10, 10), w.mapToGlobal(QPoint(10, 10)));
        QCoreApplication::sendEvent(&w, &e);
    }

    static QSize ScreenSize() { return QGuiApplication::primaryScreen()->geometry().size(); }

    std::vector<MouseCall> downs;
    std::vector<QObject*> doubleClicks;
};

TEST_F(VideoWindowFullScreen, CoversTheScreenTopMostAndCaptionlessThenReturnsIntoTheControl)
{
    video->SetFullScreenTopMost(true);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    ASSERT_EQ(RendererWidget().parentWidget(), owner.get());

    video->SetFullScreen(true);
    EXPECT_TRUE(video->FullScreen());
    EXPECT_TRUE(video->OwnerlessFullScreen());
    EXPECT_TRUE(RendererWidget().isWindow()) << "detached from the editor window";
    EXPECT_EQ(RendererWidget().geometry(), QRect(QPoint(0, 0), ScreenSize()));
    EXPECT_TRUE(RendererWidget().windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(RendererWidget().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(Style() & WS_CAPTION, 0);
    EXPECT_EQ(Style() & WS_THICKFRAME, 0);
    EXPECT_EQ(ExStyle() & WS_EX_TOPMOST, WS_EX_TOPMOST);
    EXPECT_TRUE(RendererWidget().isVisible());
    OAHWND ownerHandle = -1;
    video->RendererWindow()->get_Owner(&ownerHandle);
    EXPECT_EQ(ownerHandle, 0);

    video->SetFullScreen(false);
    EXPECT_FALSE(video->OwnerlessFullScreen());
    EXPECT_EQ(RendererWidget().parentWidget(), owner.get());
    EXPECT_EQ(RendererWidget().geometry(), kPaneRect);
    EXPECT_EQ(Style() & (WS_CHILD | WS_CLIPSIBLINGS), WS_CHILD | WS_CLIPSIBLINGS);
    EXPECT_EQ(ExStyle(), video->SavedExStyle());
    video->RendererWindow()->get_Owner(&ownerHandle);
    EXPECT_EQ(static_cast<HWND>(ownerHandle), video->ParentHandle());
    EXPECT_TRUE(RendererWidget().isVisible());
}

TEST_F(VideoWindowFullScreen, TopMostFollowsItsSwitchOnlyWhileFullScreen)
{
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    video->SetFullScreen(true);
    EXPECT_EQ(ExStyle() & WS_EX_TOPMOST, 0) << "not top-most unless asked";
    EXPECT_FALSE(RendererWidget().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    video->SetFullScreenTopMost(true);
    EXPECT_EQ(ExStyle() & WS_EX_TOPMOST, WS_EX_TOPMOST) << "applied at once";
    video->SetFullScreen(false);

    const QRect before = RendererWidget().geometry();
    const LONG exBefore = ExStyle();
    video->SetFullScreenTopMost(false);
    video->SetFullScreenTopMost(true);
    EXPECT_EQ(RendererWidget().geometry(), before) << "nothing changes on screen";
    EXPECT_EQ(ExStyle(), exBefore);
    EXPECT_EQ(RendererWidget().parentWidget(), owner.get());
}

TEST_F(VideoWindowFullScreen, FullScreenAskedBeforeARendererExistsIsAppliedAtPlay)
{
    video->SetFullScreen(true);
    EXPECT_TRUE(video->FullScreen());
    EXPECT_FALSE(video->OwnerlessFullScreen()) << "no renderer window yet: the flag only";
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    EXPECT_TRUE(video->OwnerlessFullScreen());
    EXPECT_EQ(RendererWidget().geometry(), QRect(QPoint(0, 0), ScreenSize()));
    // A resize of the control leaves the full-screen window where it is.
    video->resize(100, 80);
    EXPECT_EQ(RendererWidget().geometry(), QRect(QPoint(0, 0), ScreenSize()));
}

TEST_F(VideoWindowFullScreen, PaletteChangeReappliesTheStateAndRenamesTheWindow)
{
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    ASSERT_EQ(video->RendererWindow()->put_Caption(u"someone else"), S_OK);
    ASSERT_EQ(video->RendererWindow()->put_MessageDrain(0), S_OK);
    ASSERT_EQ(video->RendererWindow()->SetWindowPosition(5, 5, 50, 50), S_OK);
    graph->HandleGraphEvent(EC_PALETTE_CHANGED, 0, 0);
    EXPECT_EQ(WindowTitle(Renderer().WindowHandle()), "VideoWindow1");
    OAHWND drain = 0;
    video->RendererWindow()->get_MessageDrain(&drain);
    EXPECT_EQ(static_cast<HWND>(drain), video->Handle());
    EXPECT_EQ(RendererWidget().geometry(), kPaneRect);
}

TEST_F(VideoWindowFullScreen, ClicksOnTheRendererWindowArriveAsTheControlsOwnEvents)
{
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    int clicks = 0;
    video->OnClick = [&](QObject*) { ++clicks; };

    MouseOnRenderer(QEvent::MouseButtonPress, Qt::RightButton, QPoint(30, 40));
    MouseOnRenderer(QEvent::MouseButtonRelease, Qt::RightButton, QPoint(30, 40));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].sender, video);
    EXPECT_EQ(downs[0].button, Qt::RightButton);
    EXPECT_EQ(downs[0].x, 30) << "the renderer lies exactly over the control";
    EXPECT_EQ(downs[0].y, 40);
    EXPECT_EQ(clicks, 0) << "a right click is no click";

    MouseOnRenderer(QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5, 6));
    MouseOnRenderer(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(5, 6));
    MouseOnRenderer(QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(5, 6));
    MouseOnRenderer(QEvent::MouseButtonRelease, Qt::LeftButton, QPoint(5, 6));
    EXPECT_EQ(doubleClicks, std::vector<QObject*>{video});
    EXPECT_EQ(clicks, 2);
}

TEST_F(VideoWindowFullScreen, InFullScreenMouseEventsCarryTheCursorsScreenPoint)
{
    video->SetFullScreenTopMost(true);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    video->SetFullScreen(true);
    ASSERT_TRUE(video->OwnerlessFullScreen());
    QCursor::setPos(612, 345);
    const QPoint cursor = QCursor::pos();

    MouseOnRenderer(QEvent::MouseButtonPress, Qt::RightButton, QPoint(3, 4));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].x, cursor.x());
    EXPECT_EQ(downs[0].y, cursor.y());
    MouseOnRenderer(QEvent::MouseButtonRelease, Qt::RightButton, QPoint(3, 4));

    // The double-click that leaves full screen arrives from the detached window too.
    MouseOnRenderer(QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(3, 4));
    EXPECT_EQ(doubleClicks, std::vector<QObject*>{video});

    video->SetFullScreen(false);
    downs.clear();
    MouseOnRenderer(QEvent::MouseButtonPress, Qt::RightButton, QPoint(3, 4));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].x, 3) << "back in the control: its own coordinates";
}

TEST_F(VideoWindowFullScreen, ADoubleClickHandlerTogglesFullScreenFromInsideTheRenderersOwnEvent)
{
    // As the panes do it: the handler moves the very window whose event is being delivered.
    video->OnDblClick = [this](QObject*) { video->SetFullScreen(!video->FullScreen()); };
    video->SetFullScreenTopMost(true);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    MouseOnRenderer(QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(8, 8));
    PumpPosted();
    ASSERT_TRUE(video->OwnerlessFullScreen());
    EXPECT_EQ(RendererWidget().geometry(), QRect(QPoint(0, 0), ScreenSize()));
    MouseOnRenderer(QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(8, 8));
    PumpPosted();
    EXPECT_FALSE(video->OwnerlessFullScreen());
    EXPECT_EQ(RendererWidget().parentWidget(), owner.get());
    EXPECT_EQ(RendererWidget().geometry(), kPaneRect);
    // Still playing into the window it is back in.
    ASSERT_TRUE(graph->Play());
    const auto shown = Renderer().PresentedCount();
    EXPECT_TRUE(PumpUntil([&] { return Renderer().PresentedCount() > shown; }));
}

TEST_F(VideoWindowFullScreen, TheContextMenuIsSwallowedInFullScreenAndPassedOnOtherwise)
{
    ContextMenuCounter counter;
    owner->installEventFilter(&counter);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());

    ContextMenuOnRenderer();
    EXPECT_EQ(counter.count, 1) << "outside full screen the request goes on to the editor window";
    EXPECT_EQ(SendMessage(video->Handle(), WM_CONTEXTMENU, 0, 0), 0);

    video->SetFullScreen(true);
    counter.count = 0;
    ContextMenuOnRenderer();
    EXPECT_EQ(counter.count, 0);
    EXPECT_EQ(SendMessage(video->Handle(), WM_CONTEXTMENU, 0, 0), 1);
}

}  // namespace
}  // namespace kestrine::media::testing
