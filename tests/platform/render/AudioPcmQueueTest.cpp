#include "platform/render/SoundOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrine::platform;

namespace {

std::string Read(PcmQueue& queue, qint64 n)
{
    std::string out(static_cast<std::size_t>(n), '?');
    EXPECT_EQ(queue.read(out.data(), n), n);
    return out;
}

struct Notices {
    std::vector<std::pair<std::int64_t, std::size_t>> seen;
    PcmQueue::StartNotice Make()
    {
        return [this](std::int64_t at, std::size_t dropped) { seen.emplace_back(at, dropped); };
    }
};

}  // namespace

TEST(PcmQueuePlacement, BlockSoundsAtItsPlaceWithSilenceBeforeAndIsReportedThere)
{
    PcmQueue queue(2, 0);  // 2-byte frames, no joining
    ASSERT_TRUE(queue.open(QIODevice::ReadOnly));
    Notices notices;
    queue.Place("abcd", 4, 6, notices.Make());
    EXPECT_EQ(Read(queue, 4), std::string(4, '\0')) << "before its place: silence";
    EXPECT_EQ(Read(queue, 4), std::string("\0\0ab", 4));
    EXPECT_EQ(Read(queue, 4), std::string("cd\0\0", 4));
    ASSERT_EQ(notices.seen.size(), 1u);
    EXPECT_EQ(notices.seen[0], std::make_pair(std::int64_t{6}, std::size_t{0}));
    EXPECT_EQ(queue.ReadSoFar(), 12) << "silence counts: the device's stream is a timeline";
    EXPECT_EQ(queue.Queued(), 0u);

    // A place between frames is taken to the frame's start, so channels never swap.
    queue.Place("wxyz", 4, 15, {});
    EXPECT_EQ(Read(queue, 4), std::string("\0\0wx", 4));
}

TEST(PcmQueuePlacement, LateBlockLosesWhatShouldAlreadyHaveSoundedAndBlocksNearTheirPlaceJoin)
{
    PcmQueue queue(2, 4);  // within 4 bytes of its place a block joins what came before
    ASSERT_TRUE(queue.open(QIODevice::ReadOnly));
    EXPECT_EQ(Read(queue, 16), std::string(16, '\0'));

    // Due at byte 6, ten bytes ago: its first ten bytes are gone, the rest sounds now.
    Notices notices;
    queue.Place("0123456789ABCDEF", 16, 6, notices.Make());
    EXPECT_EQ(Read(queue, 6), "ABCDEF");
    ASSERT_EQ(notices.seen.size(), 1u);
    EXPECT_EQ(notices.seen[0], std::make_pair(std::int64_t{16}, std::size_t{10}));
    EXPECT_EQ(queue.Queued(), 0u) << "the dropped bytes are not counted as queued";

    // Two bytes late and two bytes early: played straight on, no gap and nothing cut.
    queue.Place("gh", 2, 20, {});
    queue.Place("ij", 2, 26, {});
    EXPECT_EQ(Read(queue, 6), std::string("ghij\0\0", 6));

    // A block wholly too late is dropped, and the next one still sounds in its place (at 36,
    // beyond the joining distance from the read position, 28).
    queue.Place("old!", 4, 0, {});
    queue.Place("new!", 4, 36, {});
    EXPECT_EQ(Read(queue, 12), std::string("\0\0\0\0\0\0\0\0new!", 12));
}

TEST(PcmQueuePlacement, ShiftMovesBlocksNotYetStartedAndClearDropsThem)
{
    PcmQueue queue(1, 0);
    ASSERT_TRUE(queue.open(QIODevice::ReadOnly));
    queue.Place("ab", 2, 1, {});
    queue.Place("cd", 2, 4, {});
    EXPECT_EQ(Read(queue, 2), std::string("\0a", 2));
    queue.Shift(3);  // the run restarted 3 bytes later: "b" is under way, "cd" moves to 7
    EXPECT_EQ(Read(queue, 7), std::string("b\0\0\0\0cd", 7));

    queue.Place("zz", 2, 20, {});
    queue.Clear();
    EXPECT_EQ(Read(queue, 12), std::string(12, '\0')) << "cleared sound is not played";

    // Blocks pushed without a place follow each other with no gap.
    queue.Push("p", 1);
    queue.Push("q", 1);
    EXPECT_EQ(Read(queue, 3), std::string("pq\0", 3));
}
