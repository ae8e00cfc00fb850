#include <gtest/gtest.h>

#include "support/TestMedia.h"

namespace kestrine::test {
namespace {

TEST(TestMedia, MakesCachedAsfThatFfprobeReads)
{
    MediaSpec spec;
    spec.durationSeconds = 2.0;
    auto a = MakeMedia(spec);
    auto b = MakeMedia(spec);
    EXPECT_EQ(a, b);
    auto keys = ProbeVideoKeyframeTimes(a);
    ASSERT_FALSE(keys.empty());
    EXPECT_NEAR(ProbeDurationSeconds(a), 2.0, 0.2);

    spec.gopLength = 5;
    EXPECT_NE(MakeMedia(spec), a);
}

TEST(TestMedia, CanLeaveOutTheIndexAndTheSizes)
{
    MediaSpec spec;
    spec.durationSeconds = 2.0;
    auto indexed = MakeMedia(spec);
    spec.withoutIndex = true;
    auto bare = MakeMedia(spec);
    // Same packets, index gone: ffprobe still finds every keyframe.
    EXPECT_LT(std::filesystem::file_size(bare), std::filesystem::file_size(indexed));
    EXPECT_EQ(ProbeVideoKeyframeTimes(bare), ProbeVideoKeyframeTimes(indexed));
    spec.withoutIndex = false;
    spec.streamed = true;
    EXPECT_EQ(ProbeVideoKeyframeTimes(MakeMedia(spec)), ProbeVideoKeyframeTimes(indexed));
}

TEST(TestMedia, RunProgramCapturesOutputAndExitCode)
{
    auto r = RunProgram("sh", {"-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_EQ(RunProgram("/nonexistent/program", {}).exitCode, -1);
}

}  // namespace
}  // namespace kestrine::test
