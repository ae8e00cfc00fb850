#include "CaptionFixture.h"

#include "ui/Unit1CaptionMaker.h"
#include "ui/Unit1CaptionPainter.h"

#include <QImage>

using kestrine::test::CaptionTest;
using kestrine::ui::MakerLineColour;

namespace {

// The box around the pixels painted in the maker line's colour, in window pixels; empty when none.
QRect MakerPixels(const QImage& surface)
{
    const QImage image = surface.convertToFormat(QImage::Format_RGB32);
    const QRgb ink = MakerLineColour.rgb();
    const auto ratio = surface.devicePixelRatio();
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == ink) box |= QRect(static_cast<int>(x / ratio), static_cast<int>(y / ratio), 1, 1);
    return box;
}

bool LooksActive(const QImage& surface, int x, int y)
{
    const QColor c = surface.pixelColor(x, y);
    return c.blue() > c.red() + 40;
}

bool LooksInactive(const QImage& surface, int x, int y)
{
    const QColor c = surface.pixelColor(x, y);
    return c.red() == c.green() && c.green() == c.blue();
}

}  // namespace

TEST_F(CaptionTest, MakerLineIsDrawnAfterTheTitleWhereTheCaptionHeightPutsIt)
{
    struct Case {
        int captionHeight;
        int left;  // past the measured prefix
        int top;
    };
    for (const Case& c : {Case{24, 10, 6}, Case{19, 8, 2}}) {
        SCOPED_TRACE(c.captionHeight);
        auto form = MakeCaptionedForm(c.captionHeight);
        const QRect ink = MakerPixels(Strip(*form).WindowSurface());
        ASSERT_FALSE(ink.isEmpty());
        const int x = form->CaptionPrefixWidth + c.left;
        // Glyphs start at or a pixel or two after the drawing point, never before it.
        EXPECT_GE(ink.left(), x);
        EXPECT_LE(ink.left(), x + 3);
        EXPECT_GE(ink.top(), c.top);
        EXPECT_LE(ink.right(), x + form->MakerTextWidth);
        // Past the title: the prefix "KESTRINE by " is wider than the title alone.
        EXPECT_GT(form->CaptionPrefixWidth,
                  QFontMetrics(kestrine::platform::CaptionFont()).horizontalAdvance(form->windowTitle()));
        height.reset();
    }
}

TEST_F(CaptionTest, DeactivationAndActivationRepaintTheCaptionWithTheMakerLine)
{
    auto form = MakeCaptionedForm(24);
    auto& frame = form->CaptionFrame();
    const QImage& surface = Strip(*form).WindowSurface();
    const int bgX = 600, bgY = 1;  // bare caption, right of the title and left of the boxes

    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&frame, &deactivate);
    // Painted at once, not at some later paint: the whole bar in inactive colours, the maker line on top.
    EXPECT_TRUE(LooksInactive(surface, bgX, bgY)) << surface.pixelColor(bgX, bgY).name().toStdString();
    EXPECT_FALSE(MakerPixels(surface).isEmpty());

    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&frame, &activate);
    EXPECT_TRUE(LooksActive(surface, bgX, bgY)) << surface.pixelColor(bgX, bgY).name().toStdString();
    EXPECT_FALSE(MakerPixels(surface).isEmpty());
    // Activation also measures the title again (the client area hears of it too).
    form->CaptionPrefixWidth = 0;
    QCoreApplication::sendEvent(&frame, &activate);
    EXPECT_GT(form->CaptionPrefixWidth, 0);
}

TEST_F(CaptionTest, FramePaintAndTitleChangeKeepTheMakerLine)
{
    auto form = MakeCaptionedForm(24);
    QImage& surface = Strip(*form).WindowSurface();

    // A frame repaint draws the standard caption over everything, then the maker line again.
    surface.fill(Qt::black);
    form->WMNCPaint();
    EXPECT_TRUE(LooksActive(surface, 600, 1) || LooksInactive(surface, 600, 1));
    EXPECT_FALSE(MakerPixels(surface).isEmpty());

    surface.fill(Qt::black);
    form->setWindowTitle(QStringLiteral("KESTRINE 2 "));
    EXPECT_EQ(form->CaptionFrame().windowTitle(), QStringLiteral("KESTRINE 2 "));
    EXPECT_NE(surface.pixelColor(600, 1), QColor(Qt::black));
    EXPECT_FALSE(MakerPixels(surface).isEmpty());
}

TEST_F(CaptionTest, TitleIsPaintedAsWideAsItIsMeasured)
{
    auto form = MakeCaptionedForm(32);
    form->WMNCActivate(true);
    const QImage image = Strip(*form).WindowSurface().convertToFormat(QImage::Format_RGB32);
    const QRect title = Strip(*form).Parts().Title;
    // The title is the only light ink between the icon and the maker line.
    int left = image.width(), right = -1;
    const int makerLeft = form->CaptionPrefixWidth + 10;
    for (int y = 0; y < image.height(); ++y)
        for (int x = title.left(); x < makerLeft; ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    ASSERT_GE(right, left);
    const int measured = QFontMetrics(kestrine::platform::CaptionFont()).horizontalAdvance(QStringLiteral("KESTRINE"));
    EXPECT_NEAR(right - left + 1, measured, 3);
    // And the maker line begins after it, so the two never overlap.
    EXPECT_LT(right, makerLeft);
}
