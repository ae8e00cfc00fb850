#include "RendererFixture.h"

#include "support/TestPaths.h"

#include "platform/graph/EventCodes.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <cmath>
#include <cstdlib>
#include <vector>

using namespace kestrine::platform;
using kestrine::platform::testing::IsBlack;
using kestrine::platform::testing::RendererTest;

namespace {

// ffmpeg's own decode of the first frame, as BGRA bytes.
std::string FirstFrameByFfmpeg(const std::filesystem::path& file)
{
    const auto r = kestrine::test::RunProgram("ffmpeg", {"-v", "error", "-i", file.string(), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

double MeanDifference(const QImage& grabbed, const std::string& bgra, int width, int height)
{
    if (grabbed.width() != width || grabbed.height() != height || bgra.size() != std::size_t(width) * std::size_t(height) * 4) return 1e9;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb p = grabbed.pixel(x, y);
            const auto* q = reinterpret_cast<const unsigned char*>(bgra.data()) + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4;
            sum += std::abs(qBlue(p) - q[0]) + std::abs(qGreen(p) - q[1]) + std::abs(qRed(p) - q[2]);
        }
    }
    return sum / (3.0 * width * height);
}

class InputRecorder final : public QWidget {
public:
    struct Seen {
        QEvent::Type type;
        Qt::MouseButton button;
        QPoint pos;
    };
    std::vector<Seen> seen;

protected:
    void mousePressEvent(QMouseEvent* e) override { seen.push_back({e->type(), e->button(), e->position().toPoint()}); }
    void mouseReleaseEvent(QMouseEvent* e) override { seen.push_back({e->type(), e->button(), e->position().toPoint()}); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { seen.push_back({e->type(), e->button(), e->position().toPoint()}); }
    void contextMenuEvent(QContextMenuEvent* e) override { seen.push_back({e->type(), Qt::RightButton, e->pos()}); }
};

int BlackCount(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += IsBlack(image.pixel(x, y)) ? 1 : 0;
    return n;
}

void Click(QWidget* target, QEvent::Type type, Qt::MouseButton button, QPoint local)
{
    QMouseEvent e(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

}  // namespace

TEST_F(RendererTest, ClassicRendererShowsTheSourcesPixelsInsideItsOwner)
{
    const auto file = kestrine::test::MakeMedia(VideoOnly(160, 120, true));
    AddRenderer(CLSID_VideoRenderer);
    auto window = renderer.Query<IVideoWindow>();
    ASSERT_TRUE(window);
    EXPECT_FALSE(renderer.Query<IVMRFilterConfig9>()) << "the classic renderer has no mixer";
    RenderPaused(file);
    PlaceInOwner(window, 160, 120);

    RendererWidget* w = Filter().Widget();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), owner.get());
    EXPECT_EQ(w->geometry(), QRect(0, 0, 160, 120));
    const QImage grabbed = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(MeanDifference(grabbed, FirstFrameByFfmpeg(file), 160, 120), 3.0);

    // The owner's grab shows the same picture: the renderer window is really laid over it.
    const QImage ownerShot = owner->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(ownerShot.pixel(80, 60), grabbed.pixel(80, 60));
}

TEST_F(RendererTest, CaptionMakesTheWindowFindableUnderItsOwner)
{
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto window = renderer.Query<IVideoWindow>();
    ASSERT_TRUE(window);
    ASSERT_EQ(window->put_Owner(static_cast<OAHWND>(ownerWindow->Handle())), S_OK);
    ASSERT_EQ(window->put_Caption(u"VideoWindow1"), S_OK);
    const HWND found = FindWindowEx(ownerWindow->Handle(), 0, "VideoRenderer", "VideoWindow1");
    EXPECT_EQ(found, Filter().WindowHandle());
    EXPECT_EQ(WindowWidget(found), Filter().Widget());
    EXPECT_EQ(FindWindowEx(ownerWindow->Handle(), 0, "VideoRenderer", "VideoWindow2"), HWND{0});
    WCHAR* caption = nullptr;
    ASSERT_EQ(window->get_Caption(&caption), S_OK);
    EXPECT_EQ(std::u16string(caption), u"VideoWindow1");
    CoTaskMemFree(caption);
}

TEST_F(RendererTest, FullScreenCoversTheScreenAndReturnsToTheOwnersRectangle)
{
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto window = renderer.Query<IVideoWindow>();
    PlaceInOwner(window, 320, 240);
    RendererWidget* w = Filter().Widget();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();

    ASSERT_EQ(window->put_Owner(0), S_OK);
    ASSERT_EQ(window->put_WindowStyle(WS_CLIPSIBLINGS), S_OK);
    ASSERT_EQ(window->put_WindowStyleEx(WS_EX_TOPMOST), S_OK);
    ASSERT_EQ(window->SetWindowPosition(0, 0, screen.width(), screen.height()), S_OK);
    EXPECT_TRUE(w->isWindow());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->geometry(), screen);
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(FindWindowEx(ownerWindow->Handle(), 0, "VideoRenderer", nullptr), HWND{0}) << "no longer the owner's child";

    ASSERT_EQ(window->put_Owner(static_cast<OAHWND>(ownerWindow->Handle())), S_OK);
    ASSERT_EQ(window->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS), S_OK);
    ASSERT_EQ(window->put_WindowStyleEx(0), S_OK);
    ASSERT_EQ(window->SetWindowPosition(10, 20, 300, 200), S_OK);
    EXPECT_FALSE(w->isWindow());
    EXPECT_EQ(w->parentWidget(), owner.get());
    EXPECT_EQ(w->geometry(), QRect(10, 20, 300, 200));
    EXPECT_TRUE(w->isVisible());
    LONG ex = -1;
    window->get_WindowStyleEx(&ex);
    EXPECT_EQ(ex, 0);
}

TEST_F(RendererTest, MessageDrainReceivesDoubleClicksAndRightClicksAlsoInFullScreen)
{
    InputRecorder drain;
    drain.setGeometry(0, 0, 320, 240);
    MessageWindow drainWindow("TVideoWindow", "VideoWindow1", [](UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, 0, &drain);
    drain.show();
    AddRenderer(CLSID_VideoRenderer);
    auto window = renderer.Query<IVideoWindow>();
    PlaceInOwner(window, 320, 240);
    ASSERT_EQ(window->put_MessageDrain(static_cast<OAHWND>(drainWindow.Handle())), S_OK);
    RendererWidget* w = Filter().Widget();

    Click(w, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(40, 30));
    Click(w, QEvent::MouseButtonPress, Qt::RightButton, QPoint(50, 60));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(50, 60), w->mapToGlobal(QPoint(50, 60)));
    QCoreApplication::sendEvent(w, &menu);
    ASSERT_EQ(drain.seen.size(), 3u);
    EXPECT_EQ(drain.seen[0].type, QEvent::MouseButtonDblClick);
    EXPECT_EQ(drain.seen[0].button, Qt::LeftButton);
    EXPECT_EQ(drain.seen[0].pos, drain.mapFromGlobal(w->mapToGlobal(QPoint(40, 30))));
    EXPECT_EQ(drain.seen[1].type, QEvent::MouseButtonPress);
    EXPECT_EQ(drain.seen[1].button, Qt::RightButton);
    EXPECT_EQ(drain.seen[2].type, QEvent::ContextMenu);

    // Detached over the whole screen, input still reaches the drain.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window->put_Owner(0);
    window->SetWindowPosition(0, 0, screen.width(), screen.height());
    Click(w, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(500, 400));
    ASSERT_EQ(drain.seen.size(), 4u);
    EXPECT_EQ(drain.seen[3].type, QEvent::MouseButtonDblClick);

    // With no drain the renderer keeps its input.
    window->put_MessageDrain(0);
    Click(w, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(5, 5));
    EXPECT_EQ(drain.seen.size(), 4u);
}

TEST_F(RendererTest, MixingRendererReportsItsSizeAndDevice)
{
    const auto file = kestrine::test::MakeMedia(VideoOnly(176, 144, false));
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto config = renderer.Query<IVMRFilterConfig9>();
    ASSERT_EQ(config->SetRenderingMode(VMR9Mode_Windowed), S_OK);
    ASSERT_TRUE(SUCCEEDED(graph->RenderFile(ToWide(file.string()).c_str(), nullptr)));
    auto events = graph.Query<IMediaEventEx>();
    bool sized = false;
    bool device = false;
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        if (code == EC_VIDEO_SIZE_CHANGED) {
            sized = true;
            EXPECT_EQ(p1 & 0xFFFF, 176);
            EXPECT_EQ((p1 >> 16) & 0xFFFF, 144);
        }
        if (code == EC_VMR_RENDERDEVICE_SET) device = true;
        events->FreeEventParams(code, p1, p2);
    }
    EXPECT_TRUE(sized);
    EXPECT_TRUE(device);
    EXPECT_EQ(config->SetRenderingMode(VMR9Mode_Windowless), VFW_E_WRONG_STATE) << "the mode is fixed once connected";
}

TEST_F(RendererTest, FilterConfigurationValidatesAndReadsBack)
{
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto config = renderer.Query<IVMRFilterConfig9>();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->SetNumberOfStreams(0), E_INVALIDARG);
    EXPECT_EQ(config->SetNumberOfStreams(17), E_INVALIDARG);
    EXPECT_EQ(config->SetNumberOfStreams(16), S_OK);
    DWORD streams = 0;
    EXPECT_EQ(config->GetNumberOfStreams(&streams), S_OK);
    EXPECT_EQ(streams, 16u);
    EXPECT_EQ(config->SetRenderingPrefs(0x1 | 0x8), S_OK);
    DWORD prefs = 0;
    EXPECT_EQ(config->GetRenderingPrefs(&prefs), S_OK);
    EXPECT_EQ(prefs, 0x9u);
    EXPECT_EQ(config->SetRenderingPrefs(0x100), E_INVALIDARG);
    EXPECT_EQ(config->SetRenderingMode(3), E_INVALIDARG);
    // Interfaces of the renderer can be asked of one another.
    auto aspect = config.Query<IVMRAspectRatioControl9>();
    ASSERT_TRUE(aspect);
    EXPECT_TRUE(aspect.Query<IBaseFilter>());
    EXPECT_EQ(aspect->SetAspectRatioMode(2), E_INVALIDARG);
    EXPECT_FALSE(renderer.Query<IVMRWindowlessControl9>()) << "only in windowless mode";
}

TEST_F(RendererTest, RenderlessModeKeepsTheAdvisedAllocator)
{
    struct Allocator final : ComObject<IVMRSurfaceAllocator9> {
        HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* n) override
        {
            notified = n != nullptr;
            return S_OK;
        }
        bool notified = false;
    };
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto config = renderer.Query<IVMRFilterConfig9>();
    auto notify = renderer.Query<IVMRSurfaceAllocatorNotify9>();
    ASSERT_TRUE(notify);
    auto allocator = MakeComObject<Allocator>();
    EXPECT_EQ(notify->AdviseSurfaceAllocator(7, allocator.Get()), VFW_E_WRONG_STATE) << "only renderless";
    ASSERT_EQ(config->SetRenderingMode(VMR9Mode_Renderless), S_OK);
    EXPECT_EQ(notify->AdviseSurfaceAllocator(7, allocator.Get()), S_OK);
    EXPECT_EQ(allocator->AdviseNotify(notify.Get()), S_OK);
    EXPECT_TRUE(allocator->notified);
    EXPECT_EQ(Filter().Allocator().Get(), static_cast<IVMRSurfaceAllocator9*>(allocator.Get()));
    EXPECT_FALSE(renderer.Query<IVideoWindow>()) << "no window of its own when renderless";
}

TEST_F(RendererTest, RealWorldWmv9PlaysInARendererWindowWithPictureAndClockAdvancing)
{
    const auto file = kestrine::test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no real-world sample beside the project";
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto window = renderer.Query<IVideoWindow>();
    RenderPaused(file);
    PlaceInOwner(window, 320, 240);
    const QImage first = Filter().Widget()->grab().toImage();
    EXPECT_LT(BlackCount(first), first.width() * first.height()) << "a picture, not an empty window";

    auto control = graph.Query<IMediaControl>();
    auto position = graph.Query<IMediaPosition>();
    const auto shown = Filter().PresentedCount();
    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Filter().PresentedCount() > shown + 5; }, 10000));
    REFTIME t = 0;
    position->get_CurrentPosition(&t);
    EXPECT_GT(t, 0.0);
    ASSERT_EQ(control->Pause(), S_OK);
}
