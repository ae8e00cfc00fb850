#include <QLocale>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "core/KeyFrameSearch.h"
#include "core/Rounding.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"

using namespace kestrine::core;

namespace {

QString Shown(TimeTextKind kind, double seconds)
{
    return FormatTimeText(kind, SplitSeconds(seconds));
}

}  // namespace

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbourOnBothSides)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    // Just off a half is not a half.
    EXPECT_EQ(RoundHalfEven(std::nextafter(2.5, 3.0)), 3);
    EXPECT_EQ(RoundHalfEven(std::nextafter(2.5, 2.0)), 2);
    EXPECT_EQ(RoundHalfEven(std::nextafter(0.5, 0.0)), 0);
    EXPECT_EQ(RoundHalfEven(-2.6), -3);
    EXPECT_EQ(RoundHalfEven(4503599627370497.0), 4503599627370497);  // 2^52 + 1: already whole
}

TEST(RoundHalfEvenTest, NonFiniteAndHugeValuesDoNotOverflow)
{
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<double>::infinity()), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(RoundHalfEven(-std::numeric_limits<double>::infinity()), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(RoundHalfEven(1e300), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(RoundHalfEven32(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(RoundHalfEven32(-1e12), std::numeric_limits<std::int32_t>::min());
}

TEST(SliderUnitsTest, TenthsOfASecondRoundedHalfToEven)
{
    EXPECT_EQ(SecondsToSliderUnits(1234.56), 12346);
    EXPECT_EQ(SecondsToSliderUnits(0.25), 2);
    EXPECT_EQ(SecondsToSliderUnits(0.35), 4);
    EXPECT_EQ(SecondsToSliderUnits(0.0), 0);
    EXPECT_EQ(SecondsToSliderUnits(65.25), 652);
    EXPECT_DOUBLE_EQ(SliderUnitsToSeconds(652), 65.2);
    EXPECT_DOUBLE_EQ(SliderUnitsToSeconds(0), 0.0);
}

TEST(SplitTimeTest, WholeSecondsTruncatedAndMillisecondsRoundedWithoutCarry)
{
    EXPECT_EQ(SplitSeconds(3725.4567), (TimeParts{1, 2, 5, 457}));
    EXPECT_EQ(SplitSeconds(0.0), (TimeParts{0, 0, 0, 0}));
    EXPECT_EQ(SplitSeconds(59.9996), (TimeParts{0, 0, 59, 1000}));
    EXPECT_EQ(SplitSeconds(3599.0), (TimeParts{0, 59, 59, 0}));
    EXPECT_EQ(SplitSeconds(3600.0), (TimeParts{1, 0, 0, 0}));
    EXPECT_EQ(SplitSeconds(360000.0), (TimeParts{100, 0, 0, 0}));
    // 0.0625 s is exact in binary: 62.5 ms rounds to the even 62, 0.1875 s to 188.
    EXPECT_EQ(SplitSeconds(10.0625).Millis, 62);
    EXPECT_EQ(SplitSeconds(10.1875).Millis, 188);
    EXPECT_EQ(SplitSeconds(std::numeric_limits<double>::quiet_NaN()), (TimeParts{0, 0, 0, 0}));
}

TEST(SplitTimeTest, WritesTheFourPartsOfTheState)
{
    EditState state;
    SplitTime(3725.4567, state);
    EXPECT_EQ(state.TimeHours, 1);
    EXPECT_EQ(state.TimeMinutes, 2);
    EXPECT_EQ(state.TimeSeconds, 5);
    EXPECT_EQ(state.TimeMillis, 457);
    EXPECT_EQ(TimeText(TimeTextKind::MarkIn, state), QStringLiteral("Mark IN: 01:02:05:457"));
}

TEST(TimeTextTest, TheFourTextsWithTheirExactLabelsAndPadding)
{
    EXPECT_EQ(Shown(TimeTextKind::Position, 65.25), QStringLiteral(" Position: 00:01:05:250"));
    EXPECT_EQ(Shown(TimeTextKind::Duration, 720.0), QStringLiteral("            duration: 00:12:00:000"));
    EXPECT_EQ(Shown(TimeTextKind::MarkIn, 0.0), QStringLiteral("Mark IN: 00:00:00:000"));
    EXPECT_EQ(Shown(TimeTextKind::MarkOut, 3725.4567), QStringLiteral("Mark OUT: 01:02:05:457"));
    EXPECT_EQ(Shown(TimeTextKind::Position, 59.9996), QStringLiteral(" Position: 00:00:59:1000"));
    // The widths are minimums: a hundred hours and more take three digits.
    EXPECT_EQ(Shown(TimeTextKind::Position, 360000.0 + 61.007), QStringLiteral(" Position: 100:01:01:007"));
    EXPECT_EQ(Shown(TimeTextKind::Position, 1000.0 * 3600.0), QStringLiteral(" Position: 1000:00:00:000"));
}

TEST(TimeTextTest, StatusLineIsPositionThenDurationAndLeavesTheDurationsParts)
{
    EditState state;
    EXPECT_EQ(StatusLine(65.25, 720.0, state),
              QStringLiteral(" Position: 00:01:05:250            duration: 00:12:00:000"));
    EXPECT_EQ(state.TimeMinutes, 12);
    EXPECT_EQ(state.TimeSeconds, 0);
}

TEST(TimeTextTest, TextsDoNotDependOnTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // absent on minimal systems; Qt's default still changed

    EXPECT_EQ(Shown(TimeTextKind::Position, 3725.4567), QStringLiteral(" Position: 01:02:05:457"));
    EXPECT_EQ(Shown(TimeTextKind::Position, 1000.0 * 3600.0), QStringLiteral(" Position: 1000:00:00:000"));

    std::setlocale(LC_ALL, saved.c_str());
    QLocale::setDefault(before);
}

// The Prev./Next keyframe buttons step over a keyframe they stand on (within 0.1 ms).
TEST(KeyFrameSearchTest, PrevSkipsTheKeyframeUnderThePosition)
{
    const std::vector<double> keys{2.0, 4.0, 6.0};
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(4.0, keys), 2.0);
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(4.00005, keys), 2.0);
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(4.0002, keys), 4.0);
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(1.0, keys), 0.0);
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(100.0, keys), 6.0);
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(5.0, {}), 0.0);
}

TEST(KeyFrameSearchTest, NextSkipsTheKeyframeUnderThePositionAndEndsAtTheDuration)
{
    const std::vector<double> keys{2.0, 4.0, 6.0};
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(4.0, keys, 9.5), 6.0);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(3.99995, keys, 9.5), 6.0);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(3.9998, keys, 9.5), 4.0);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(6.5, keys, 9.5), 9.5);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(0.0, keys, 9.5), 2.0);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(0.0, {}, 9.5), 9.5);
}

TEST(KeyFrameSearchTest, WalksInReportOrderAndReturnsTheFirstMatch)
{
    // An unsorted report is not searched for the nearest keyframe: the first in walk order wins.
    const std::vector<double> keys{5.0, 1.0, 3.0};
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(4.0, keys), 3.0);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(0.5, keys, 9.0), 5.0);
}

TEST(KeyFrameSearchTest, OverloadsReadTheSharedState)
{
    const EditState saved = Edit;
    Edit.KeyFrames = {1.0, 2.0};
    Edit.PlayerDuration = 7.0;
    EXPECT_DOUBLE_EQ(FindPrevKeyFrame(2.0), 1.0);
    EXPECT_DOUBLE_EQ(FindNextKeyFrame(2.0), 7.0);
    Edit = saved;
}
