#include "RendererFixture.h"

#include "platform/render/PictureGeometry.h"

using namespace kestrine::platform;
using kestrine::platform::testing::IsBlack;
using kestrine::platform::testing::RendererTest;

namespace {

// Counts black pixels along a line (horizontal when vertical is false).
int BlackAlong(const QImage& image, int at, bool vertical)
{
    int n = 0;
    const int length = vertical ? image.height() : image.width();
    for (int i = 0; i < length; ++i) n += IsBlack(vertical ? image.pixel(at, i) : image.pixel(i, at)) ? 1 : 0;
    return n;
}

}  // namespace

TEST(PictureGeometry, LetterboxCentresThePictureInItsOwnProportions)
{
    EXPECT_EQ(PictureRect(QSize(4, 3), QRect(0, 0, 320, 180), true), QRect(40, 0, 240, 180));
    EXPECT_EQ(PictureRect(QSize(16, 9), QRect(0, 0, 320, 240), true), QRect(0, 30, 320, 180));
    EXPECT_EQ(PictureRect(QSize(4, 3), QRect(0, 0, 320, 180), false), QRect(0, 0, 320, 180));
    EXPECT_EQ(PictureRect(QSize(), QRect(0, 0, 320, 180), true), QRect(0, 0, 320, 180));
    EXPECT_EQ(PictureRect(QSize(4, 3), QRect(10, 20, 320, 240), true), QRect(10, 20, 320, 240));
}

class AspectTest : public RendererTest {
protected:
    QImage Shot(int videoW, int videoH, int windowW, int windowH, DWORD mode)
    {
        const auto file = kestrine::test::MakeMedia(VideoOnly(videoW, videoH, false));
        AddRenderer(CLSID_VideoMixingRenderer9);
        auto window = renderer.Query<IVideoWindow>();
        EXPECT_EQ(renderer.Query<IVMRAspectRatioControl9>()->SetAspectRatioMode(mode), S_OK);
        RenderPaused(file);
        PlaceInOwner(window, windowW, windowH);
        return Filter().Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

TEST_F(AspectTest, FourByThreeInSixteenByNineHasBarsLeftAndRight)
{
    const QImage shot = Shot(160, 120, 320, 180, VMR9AspectRatioMode_LetterBox);
    ASSERT_EQ(shot.size(), QSize(320, 180));
    EXPECT_EQ(BlackAlong(shot, 20, true), 180) << "left bar";
    EXPECT_EQ(BlackAlong(shot, 300, true), 180) << "right bar";
    EXPECT_EQ(BlackAlong(shot, 45, true), 0) << "picture starts at x = 40";
    EXPECT_EQ(BlackAlong(shot, 90, false), 80) << "only the bars on a row";
}

TEST_F(AspectTest, SixteenByNineInFourByThreeHasBarsTopAndBottom)
{
    const QImage shot = Shot(192, 108, 320, 240, VMR9AspectRatioMode_LetterBox);
    EXPECT_EQ(BlackAlong(shot, 10, false), 320) << "top bar";
    EXPECT_EQ(BlackAlong(shot, 230, false), 320) << "bottom bar";
    EXPECT_EQ(BlackAlong(shot, 120, false), 0);
    EXPECT_EQ(BlackAlong(shot, 160, true), 60);
}

// A 320x240 picture whose file says it is shown at 16:9 (wide pixels) keeps that shape.
TEST_F(AspectTest, StatedPixelShapeIsHonouredInLetterbox)
{
    auto spec = VideoOnly(320, 240, false);
    spec.extraOutputArgs.insert(spec.extraOutputArgs.end(), {"-aspect", "16:9"});
    AddRenderer(CLSID_VideoMixingRenderer9);
    auto window = renderer.Query<IVideoWindow>();
    ASSERT_EQ(renderer.Query<IVMRAspectRatioControl9>()->SetAspectRatioMode(VMR9AspectRatioMode_LetterBox), S_OK);
    RenderPaused(kestrine::test::MakeMedia(spec));
    PlaceInOwner(window, 320, 240);
    const QImage shot = Filter().Widget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(BlackAlong(shot, 10, false), 320) << "top bar";
    EXPECT_EQ(BlackAlong(shot, 120, false), 0);
    EXPECT_EQ(BlackAlong(shot, 160, true), 60) << "picture 180 rows high";
}

TEST_F(AspectTest, StretchFillsTheWholeWindow)
{
    const QImage shot = Shot(160, 120, 320, 180, VMR9AspectRatioMode_None);
    EXPECT_EQ(BlackAlong(shot, 2, true), 0);
    EXPECT_EQ(BlackAlong(shot, 317, true), 0);
    EXPECT_EQ(BlackAlong(shot, 90, false), 0);
}

TEST_F(RendererTest, WindowlessModeDrawsIntoTheClippingWindow)
{
    const auto file = kestrine::test::MakeMedia(VideoOnly(160, 120, false));
    AddRenderer(CLSID_VideoMixingRenderer9);
    ASSERT_EQ(renderer.Query<IVMRFilterConfig9>()->SetRenderingMode(VMR9Mode_Windowless), S_OK);
    EXPECT_FALSE(renderer.Query<IVideoWindow>()) << "no window of its own";
    auto windowless = renderer.Query<IVMRWindowlessControl9>();
    ASSERT_TRUE(windowless);
    EXPECT_EQ(windowless->SetVideoClippingWindow(0), E_INVALIDARG);
    ASSERT_EQ(windowless->SetVideoClippingWindow(static_cast<OAHWND>(ownerWindow->Handle())), S_OK);
    const RECT destination{0, 0, 320, 240};
    ASSERT_EQ(windowless->SetVideoPosition(nullptr, &destination), S_OK);
    RenderPaused(file);

    LONG w = 0;
    LONG h = 0;
    ASSERT_EQ(windowless->GetNativeVideoSize(&w, &h, nullptr, nullptr), S_OK);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    const QImage shot = owner->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The file is a plain 0x3060a0; lossy coding moves each channel a little.
    const QRgb centre = shot.pixel(160, 120);
    EXPECT_NEAR(qRed(centre), 0x30, 12);
    EXPECT_NEAR(qGreen(centre), 0x60, 12);
    EXPECT_NEAR(qBlue(centre), 0xa0, 12);
    EXPECT_EQ(BlackAlong(shot, 120, false), 0) << "stretched over the whole destination";
}
