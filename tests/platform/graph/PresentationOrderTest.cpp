#include "platform/graph/PresentationOrder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestrine::platform;

namespace {

using Kind = PresentationOrder::Kind;
constexpr Kind R = Kind::Reference;
constexpr Kind B = Kind::ShownAtOnce;

// Feeds times in decode order, then takes pictures out whose own times come in display order.
std::vector<REFERENCE_TIME> Shown(PresentationOrder& order, const std::vector<REFERENCE_TIME>& sent,
                                  const std::vector<std::pair<REFERENCE_TIME, Kind>>& out)
{
    for (REFERENCE_TIME t : sent) order.Sent(t);
    std::vector<REFERENCE_TIME> shown;
    for (const auto& [own, kind] : out) shown.push_back(order.Next(own, kind).value_or(-1));
    return shown;
}

}  // namespace

TEST(PresentationOrder, BFramesTakeTheirSlotsAndADroppedFrameShiftsOnePictureAtMost)
{
    PresentationOrder order;
    // I0 P1 B2 P3 B4 stored in decode order at 0..4: shown I0 B2 P1 B4 P3.
    EXPECT_EQ(Shown(order, {0, 1, 2, 3, 4}, {{0, R}, {2, B}, {1, R}, {4, B}, {3, R}}), (std::vector<REFERENCE_TIME>{0, 1, 2, 3, 4}));

    // The decoder drops B7 (I5 P6 B7 P8 B9 P10): P6 comes one slot early, B9 is on time again.
    EXPECT_EQ(Shown(order, {5, 6, 7, 8, 9, 10}, {{5, R}, {6, R}, {9, B}, {8, R}, {10, R}}), (std::vector<REFERENCE_TIME>{5, 6, 8, 9, 10}));

    // After a seek to an open group: its leading B-frame (own 21) cannot be decoded; the keyframe
    // takes the slot, and from the next B-frame on every picture is on time.
    order.Clear();
    EXPECT_EQ(Shown(order, {20, 21, 22, 23, 24}, {{20, R}, {23, B}, {22, R}, {24, R}}), (std::vector<REFERENCE_TIME>{20, 22, 23, 24}));

    // Pictures the codec makes without a time of their own, after everything sent went out.
    EXPECT_EQ(order.Next(std::nullopt, R), std::nullopt);
}
