#include "platform/render/SoundOutput.h"

#include <gtest/gtest.h>

using namespace kestrine::platform;

TEST(PcmQueue, GivesSamplesInOrderAndSilenceWhenDry)
{
    PcmQueue queue;
    ASSERT_TRUE(queue.open(QIODevice::ReadOnly));
    const char first[] = {1, 2, 3};
    const char second[] = {4, 5};
    queue.Push(first, sizeof first);
    queue.Push(second, sizeof second);
    EXPECT_EQ(queue.Queued(), 5u);

    char out[8];
    std::fill(std::begin(out), std::end(out), char(9));
    ASSERT_EQ(queue.read(out, 4), 4);
    EXPECT_EQ(std::string(out, 4), std::string("\x01\x02\x03\x04", 4));
    // One byte left, then silence: the device is never starved into stopping.
    ASSERT_EQ(queue.read(out, 3), 3);
    EXPECT_EQ(std::string(out, 3), std::string("\x05\x00\x00", 3));
    EXPECT_EQ(queue.Queued(), 0u);

    queue.Push(first, sizeof first);
    queue.Clear();
    ASSERT_EQ(queue.read(out, 2), 2);
    EXPECT_EQ(std::string(out, 2), std::string("\x00\x00", 2)) << "cleared sound is not played";
}
