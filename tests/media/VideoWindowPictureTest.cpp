// What the user sees: the picture exactly inside the control, letterboxed or stretched, following
// the control's size, position and visibility, and drawn into the control itself when windowless.
#include "VideoWindowTestSupport.h"

namespace kestrine::media::testing {
namespace {

class VideoWindowPicture : public VideoWindowTest {
protected:
    // The editor's set-up: the mixing renderer, windowed, stretching.
    void LinkAsTheEditorDoes()
    {
        video->SetMode(TVideoMode::vmVMR);
        video->VMROptions().SetMode(TVMRVideoMode::vmrWindowed);
        video->VMROptions().SetKeepAspectRatio(false);
        video->SetFullScreenTopMost(true);
        video->SetFilterGraph(graph.get());
    }

    // Counts, along one row or column of the shot, how many pixels are the picture's colour.
    static int PictureAlong(const QImage& shot, int at, bool vertical, int from, int length)
    {
        int n = 0;
        for (int i = from; i < from + length; ++i) n += Near(vertical ? shot.pixel(at, i) : shot.pixel(i, at), kPictureColour) ? 1 : 0;
        return n;
    }
};

TEST_F(VideoWindowPicture, AfterPlayAndPauseThePictureFillsExactlyTheControlsRectangle)
{
    LinkAsTheEditorDoes();
    LoadPaused(PlainVideo());
    ASSERT_TRUE(video->RendererWindow());
    EXPECT_EQ(Renderer().Widget()->parentWidget(), owner.get()) << "a child of the editor window";
    EXPECT_EQ(Renderer().Widget()->geometry(), kPaneRect);
    EXPECT_TRUE(Renderer().Widget()->isVisible());

    const QImage shot = OwnerShot();
    const QRect r = kPaneRect;
    // Every pixel of the control's rectangle shows the picture ...
    for (int y = r.top(); y <= r.bottom(); y += 7) EXPECT_EQ(PictureAlong(shot, y, false, r.left(), r.width()), r.width()) << "row " << y;
    EXPECT_EQ(PictureAlong(shot, r.bottom(), false, r.left(), r.width()), r.width());
    EXPECT_EQ(PictureAlong(shot, r.right(), true, r.top(), r.height()), r.height());
    // ... and nothing outside it does.
    EXPECT_TRUE(Near(shot.pixel(r.left() - 1, r.center().y()), kOwnerColour));
    EXPECT_TRUE(Near(shot.pixel(r.right() + 1, r.center().y()), kOwnerColour));
    EXPECT_TRUE(Near(shot.pixel(r.center().x(), r.top() - 1), kOwnerColour));
    EXPECT_TRUE(Near(shot.pixel(r.center().x(), r.bottom() + 1), kOwnerColour));

    // The renderer window carries the component's name and drains into the control.
    OAHWND drain = 0;
    ASSERT_EQ(video->RendererWindow()->get_MessageDrain(&drain), S_OK);
    EXPECT_EQ(static_cast<HWND>(drain), video->Handle());
}

TEST_F(VideoWindowPicture, KeepAspectRatioLetterboxesAndItsOppositeStretches)
{
    LinkAsTheEditorDoes();
    LoadPaused(PlainVideo(320, 180));  // 16:9 in the 4:3 pane
    const QRect r = kPaneRect;
    const int column = r.center().x();

    QImage shot = OwnerShot();
    EXPECT_EQ(PictureAlong(shot, column, true, r.top(), r.height()), r.height()) << "stretched over the whole height";

    video->VMROptions().SetKeepAspectRatio(true);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    shot = OwnerShot();
    // 320 x 180 centred in 320 x 240: bars of 30 rows above and below.
    EXPECT_EQ(PictureAlong(shot, column, true, r.top(), r.height()), 180);
    for (int y = r.top(); y < r.top() + 28; ++y) EXPECT_TRUE(IsBlack(shot.pixel(column, y))) << "top bar at " << y;
    for (int y = r.bottom() - 27; y <= r.bottom(); ++y) EXPECT_TRUE(IsBlack(shot.pixel(column, y))) << "bottom bar at " << y;
    EXPECT_EQ(PictureAlong(shot, r.top() + 40, false, r.left(), r.width()), r.width()) << "full width inside the bars";

    video->VMROptions().SetKeepAspectRatio(false);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    shot = OwnerShot();
    EXPECT_EQ(PictureAlong(shot, column, true, r.top(), r.height()), r.height());
}

TEST_F(VideoWindowPicture, TheRendererWindowFollowsTheControlsSizePositionAndVisibility)
{
    std::vector<QObject*> resized;
    video->OnResize = [&](QObject* sender) { resized.push_back(sender); };
    LinkAsTheEditorDoes();
    LoadPaused(PlainVideo());
    video->resize(200, 150);
    EXPECT_EQ(resized, std::vector<QObject*>{video});
    EXPECT_EQ(Renderer().Widget()->geometry(), QRect(kPaneRect.topLeft(), QSize(200, 150)));
    video->move(40, 10);  // a move alone carries it along too
    EXPECT_EQ(Renderer().Widget()->geometry(), QRect(40, 10, 200, 150));

    video->setVisible(false);
    LONG visible = OATRUE;
    ASSERT_EQ(video->RendererWindow()->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, OAFALSE);
    EXPECT_FALSE(video->isVisible());
    video->setVisible(true);
    ASSERT_EQ(video->RendererWindow()->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, OATRUE);
}

TEST_F(VideoWindowPicture, ClassicRendererIsPlacedAndNamedAtPlay)
{
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    ASSERT_TRUE(video->RendererWindow());
    EXPECT_EQ(WindowTitle(Renderer().WindowHandle()), "VideoWindow1");
    EXPECT_EQ(Renderer().Widget()->parentWidget(), owner.get());
    EXPECT_EQ(Renderer().Widget()->geometry(), kPaneRect);
    const QImage shot = OwnerShot();
    EXPECT_EQ(PictureAlong(shot, kPaneRect.center().y(), false, kPaneRect.left(), kPaneRect.width()), kPaneRect.width());
}

TEST_F(VideoWindowPicture, WindowlessModeDrawsIntoTheControl)
{
    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
    video->VMROptions().SetKeepAspectRatio(false);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    ASSERT_TRUE(video->WindowlessControl());
    EXPECT_EQ(Renderer().Widget()->parentWidget(), video);
    EXPECT_EQ(Renderer().Widget()->geometry(), QRect(QPoint(0, 0), kPaneRect.size()));
    QImage shot = video->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(PictureAlong(shot, 120, false, 0, shot.width()), shot.width());
    EXPECT_EQ(PictureAlong(shot, 160, true, 0, shot.height()), shot.height());

    // A new size moves the picture's destination with it.
    video->resize(240, 180);
    EXPECT_EQ(Renderer().Widget()->geometry(), QRect(0, 0, 240, 180));
    platform::RECT destination;
    ASSERT_EQ(video->WindowlessControl()->GetVideoPosition(nullptr, &destination), S_OK);
    EXPECT_EQ(destination.right, 240);
    EXPECT_EQ(destination.bottom, 180);

    // Full screen needs a window of the renderer's own: only the flag is recorded.
    video->SetFullScreen(true);
    EXPECT_TRUE(video->FullScreen());
    EXPECT_FALSE(video->OwnerlessFullScreen());
    EXPECT_EQ(Renderer().Widget()->parentWidget(), video);
}

TEST_F(VideoWindowPicture, TheRealWorldSampleShowsItsPictureInThePane)
{
    const auto sample = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no sample at " << sample;
    LinkAsTheEditorDoes();
    LoadPaused(sample);
    EXPECT_EQ(Renderer().Widget()->geometry(), kPaneRect);
    const QImage shot = OwnerShot().copy(kPaneRect);
    int lit = 0;
    for (int y = 0; y < shot.height(); y += 4)
        for (int x = 0; x < shot.width(); x += 4) lit += IsBlack(shot.pixel(x, y)) || Near(shot.pixel(x, y), kOwnerColour, 3) ? 0 : 1;
    EXPECT_GT(lit, (shot.width() / 4) * (shot.height() / 4) / 4) << "the pane shows a picture, not black nor the window behind";
}

TEST_F(VideoWindowPicture, PaintingFillsBlackAndThenTellsOnPaint)
{
    int painted = 0;
    video->OnPaint = [&](QObject* sender) {
        EXPECT_EQ(sender, video);
        ++painted;
    };
    const QImage shot = video->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GE(painted, 1);
    EXPECT_TRUE(IsBlack(shot.pixel(5, 5)));
    EXPECT_TRUE(IsBlack(shot.pixel(shot.width() - 1, shot.height() - 1)));
}

}  // namespace
}  // namespace kestrine::media::testing
