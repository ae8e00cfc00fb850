#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "cutter/AsyncFileWriter.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

TEST(AsyncFileWriterTest, WritesLandInOrderAtTheirOffsetsAndBuffersComeBack)
{
    const auto path = test::FreshTestDir() / "out.bin";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    std::vector<std::uint8_t> expected;
    {
        AsyncFileWriter writer;
        std::vector<std::uint8_t> reclaimed;
        for (int i = 0; i < 20; ++i) {
            std::vector<std::uint8_t> chunk = std::move(reclaimed);
            chunk.assign(100000 + static_cast<std::size_t>(i), static_cast<std::uint8_t>(i * 13));
            const std::uint64_t offset = expected.size();
            expected.insert(expected.end(), chunk.begin(), chunk.end());
            writer.Start(fd, std::move(chunk), offset);
            if (i % 3 == 0) {
                EXPECT_EQ(writer.Wait(&reclaimed), 0);
                EXPECT_GE(reclaimed.capacity(), 100000u) << "the written buffer is handed back for reuse";
            }
        }
        EXPECT_EQ(writer.Wait(), 0);
    }  // destroyed with nothing in flight: the thread ends
    ::close(fd);
    EXPECT_EQ(test::ReadFileBytes(path), expected);
}

TEST(AsyncFileWriterTest, AFailedWriteIsReportedOnceByWait)
{
    AsyncFileWriter writer;
    writer.Start(-1, std::vector<std::uint8_t>(10, 1), 0);
    EXPECT_EQ(writer.Wait(), EBADF);
    EXPECT_EQ(writer.Wait(), 0) << "reported once";

    // Destroyed while a write is in flight: it finishes first.
    const auto path = test::FreshTestDir() / "late.bin";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    {
        AsyncFileWriter late;
        late.Start(fd, std::vector<std::uint8_t>(3u << 20, 7), 0);
    }
    ::close(fd);
    EXPECT_EQ(std::filesystem::file_size(path), 3u << 20);
}

}  // namespace
}  // namespace kestrine::cutter
