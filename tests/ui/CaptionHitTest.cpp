#include "CaptionFixture.h"

#include "ui/Unit1CaptionLayout.h"

using kestrine::test::CaptionTest;
namespace CaptionHit = kestrine::ui::CaptionHit;
using kestrine::ui::TForm1;

namespace {

// Caption heights on both sides of the 20-pixel rule.
class CaptionHitTest : public CaptionTest, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(CaptionHitTest, MakerLineAnswersOnlyInsideItsStrictBounds)
{
    const int captionHeight = GetParam();
    auto form = MakeCaptionedForm(captionHeight);
    ASSERT_EQ(form->CaptionHeight, captionHeight);
    ASSERT_GT(form->CaptionPrefixWidth, 0);
    ASSERT_GT(form->MakerTextWidth, 10);
    ASSERT_GT(form->MakerTextHeight, 6);

    // The strip is exactly one caption high above the untouched 739 x 372 client area.
    EXPECT_EQ(Strip(*form).height(), captionHeight);
    EXPECT_EQ(form->mapTo(&form->CaptionFrame(), QPoint(0, 0)), QPoint(0, captionHeight));
    EXPECT_EQ(form->CaptionFrame().size(), QSize(739, 372 + captionHeight));

    const auto b = Bounds(*form);
    struct Probe {
        const char* where;
        int x, y;
        bool inside;
    };
    const Probe probes[] = {
        {"left edge inside", b.left + 1, b.MidY(), true},     {"left edge outside", b.left, b.MidY(), false},
        {"right edge inside", b.right - 1, b.MidY(), true},   {"right edge outside", b.right, b.MidY(), false},
        {"top edge inside", b.MidX(), b.top + 1, true},       {"top edge outside", b.MidX(), b.top, false},
        {"bottom edge inside", b.MidX(), b.bottom - 1, true}, {"bottom edge outside", b.MidX(), b.bottom, false},
    };
    for (const Probe& p : probes) {
        SCOPED_TRACE(p.where);
        const QPoint g = Global(*form, p.x, p.y);
        const int hit = form->WMNCHitTest(g.x(), g.y());
        if (p.inside) {
            EXPECT_EQ(hit, TForm1::MakerLinkHit);
        } else {
            // One pixel out, the standard answer stands: the caption (or the client area below it).
            EXPECT_EQ(hit, form->CaptionFrame().StandardHitTest(g));
            EXPECT_TRUE(hit == CaptionHit::Caption || hit == CaptionHit::Client) << hit;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TallAndShortCaptions, CaptionHitTest, ::testing::Values(20, 26, 19, 16));

TEST_F(CaptionTest, StandardHitTestFindsEveryCaptionPart)
{
    auto form = MakeCaptionedForm(24);
    const auto parts = Strip(*form).Parts();
    EXPECT_EQ(HitAt(*form, parts.SystemMenu.center().x(), parts.SystemMenu.center().y()), CaptionHit::SystemMenu);
    EXPECT_EQ(HitAt(*form, parts.MinimizeBox.center().x(), parts.MinimizeBox.center().y()), CaptionHit::MinimizeBox);
    EXPECT_EQ(HitAt(*form, parts.CloseBox.center().x(), parts.CloseBox.center().y()), CaptionHit::CloseBox);
    EXPECT_EQ(HitAt(*form, 500, 12), CaptionHit::Caption);
    EXPECT_EQ(HitAt(*form, 100, 24), CaptionHit::Client);  // first client row
    EXPECT_EQ(HitAt(*form, 100, 23), CaptionHit::Caption);  // last caption row
    EXPECT_EQ(HitAt(*form, 739, 10), CaptionHit::Nowhere);
    EXPECT_EQ(HitAt(*form, 5, -1), CaptionHit::Nowhere);
    // The parts keep clear of each other.
    EXPECT_FALSE(parts.MinimizeBox.intersects(parts.CloseBox));
    EXPECT_LT(parts.Title.right(), parts.MinimizeBox.left());
    EXPECT_LT(parts.SystemMenu.right(), parts.Title.left());
}

TEST_F(CaptionTest, BeforeAnyMeasureTheMakerLineSitsAtTheLeftMargin)
{
    height.emplace(24);
    auto form = MakeForm();
    form->drawown();  // no paint or activation yet: no title width
    EXPECT_EQ(form->CaptionPrefixWidth, 0);
    EXPECT_EQ(HitAt(*form, 7, 10), TForm1::MakerLinkHit);
    EXPECT_NE(HitAt(*form, 6, 10), TForm1::MakerLinkHit);
}
