#include "core/RecordRoom.h"

#include <gtest/gtest.h>
#include <limits>

using kestrine::core::EstimateRecordRoom;

TEST(NoLostWorkRecordRoom, TheSpansShareOfTheSourceAndTheJoinedResultWithAMargin)
{
    constexpr std::uint64_t MB = 1 << 20;
    // A first Record of 30 s from a 600 s, 500 MB source: only the span is written.
    auto first = EstimateRecordRoom(500 * MB, 600, 60, 90, false);
    EXPECT_EQ(first.Segment, 25 * MB);
    EXPECT_EQ(first.Appended, 0u);
    EXPECT_GE(first.Needed, first.Segment * 11 / 10);
    EXPECT_LE(first.Needed, first.Segment * 12 / 10 + 8 * MB);

    // With a result the join appends the span to it again, beside the span; the result's own size
    // does not count, however large it is.
    auto later = EstimateRecordRoom(500 * MB, 600, 60, 90, true);
    EXPECT_EQ(later.Appended, 25 * MB);
    EXPECT_GE(later.Needed, (later.Segment + later.Appended) * 11 / 10);
    EXPECT_LE(later.Needed, (later.Segment + later.Appended) * 12 / 10 + 8 * MB);

    // Marks the wrong way round cut nothing; an unknown length counts the whole source.
    EXPECT_EQ(EstimateRecordRoom(500 * MB, 600, 90, 60, false).Segment, 0u);
    EXPECT_EQ(EstimateRecordRoom(500 * MB, 0, 0, 10, false).Segment, 500 * MB);
    EXPECT_EQ(EstimateRecordRoom(500 * MB, std::numeric_limits<double>::quiet_NaN(), 0, 10, false).Segment, 500 * MB);
}
