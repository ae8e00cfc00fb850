#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "platform/ChildProcess.h"
#include "support/TestPaths.h"

using kestrine::platform::ChildProcess;
using kestrine::platform::MaximumPipeSize;
namespace fs = std::filesystem;

namespace {

const std::string Child = KESTRINE_RUNNER_CHILD;

std::optional<ChildProcess> StartChild(const std::vector<std::string>& args, std::int64_t pipeSize = 0)
{
    std::vector<std::string> argv{Child};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProcess::Start(argv, pipeSize);
}

// Everything the child writes, until it has ended and its output is read.
std::string ReadToEnd(ChildProcess& child)
{
    std::string text;
    std::array<char, 4096> buffer{};
    for (;;) {
        child.WaitForOutputOrEnd(std::chrono::milliseconds(100));
        while (const std::size_t n = child.ReadAvailable(buffer))
            text.append(buffer.data(), n);
        if (child.HasEnded()) {
            while (const std::size_t n = child.ReadAvailable(buffer))
                text.append(buffer.data(), n);
            return text;
        }
    }
}

char ProcessState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

template <typename Done>
bool Eventually(Done done)
{
    for (int i = 0; i < 600; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

}  // namespace

TEST(ChildProcessTest, ProgramsThatCannotStartAreReportedWithTheirError)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    std::ofstream(dir / "plain.txt") << "text";
    const struct {
        std::vector<std::string> argv;
        int error;
    } cases[] = {
        {{"/nonexistent/program"}, ENOENT},
        {{(dir / "plain.txt").string()}, EACCES},
        {{dir.string()}, EACCES},
        {{}, EINVAL},
        {{Child, std::string("nul\0inside", 10)}, EINVAL},
    };
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_FALSE(ChildProcess::Start(c.argv, 0, &error).has_value());
        EXPECT_EQ(error, c.error);
    }
}

TEST(ChildProcessTest, ReportsTheEndAndTheExitStatus)
{
    auto child = StartChild({"exit", "7"});
    ASSERT_TRUE(child);
    EXPECT_EQ(ReadToEnd(*child), "exiting");
    EXPECT_TRUE(child->OutputEnded() || child->HasEnded());
    ASSERT_TRUE(WIFEXITED(child->WaitStatus()));
    EXPECT_EQ(WEXITSTATUS(child->WaitStatus()), 7);
}

TEST(ChildProcessTest, PipeSizeIsTheRequestRoundedUpAndClampedToTheSystemLimit)
{
    const int maximum = MaximumPipeSize();
    const struct {
        std::int64_t requested;
        int expected;
    } cases[] = {
        {0, 65536},
        {5000, 8192},
        {262144, 262144},
        {std::int64_t{1} << 40, maximum},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        auto child = StartChild({"pipesize"}, c.requested);
        ASSERT_TRUE(child);
        EXPECT_EQ(child->PipeCapacity(), c.expected);
        EXPECT_EQ(ReadToEnd(*child), std::to_string(c.expected));
    }
}

TEST(ChildProcessTest, InputIsEmptyAndNoOtherDescriptorsLeak)
{
    auto child = StartChild({"stdin"});
    ASSERT_TRUE(child);
    EXPECT_EQ(ReadToEnd(*child), "stdin-eof");

    // A descriptor opened without close-on-exec must still not reach the child.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    auto lister = StartChild({"fds"});
    ::close(leaky);
    ASSERT_TRUE(lister);
    EXPECT_EQ(ReadToEnd(*lister), "fds:");
}

TEST(ChildProcessTest, ADroppedRunningChildKeepsWorkingAndIsReaped)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    const fs::path release = dir / "release";
    const fs::path done = dir / "done";
    pid_t pid = -1;
    {
        auto child = StartChild({"wait-for", release.string(), "3000000", done.string()}, 4096);
        ASSERT_TRUE(child);
        pid = child->Pid();
        std::array<char, 64> buffer{};
        ASSERT_TRUE(Eventually([&] {
            child->WaitForOutputOrEnd(std::chrono::milliseconds(10));
            return child->ReadAvailable(buffer) > 0;
        }));
        EXPECT_FALSE(child->HasEnded());
    }
    const char state = ProcessState(pid);
    EXPECT_TRUE(state != 0 && state != 'Z') << state;
    std::ofstream(release).put('x');
    EXPECT_TRUE(Eventually([&] { return fs::exists(done); })) << "the child blocked or died on its output";
    EXPECT_TRUE(Eventually([&] { return ProcessState(pid) == 0; })) << "left as a zombie";
}

TEST(ChildProcessTest, MovedFromObjectsOwnNothing)
{
    auto child = StartChild({"bytes", "10"});
    ASSERT_TRUE(child);
    ChildProcess moved = std::move(*child);
    EXPECT_EQ(child->Pid(), -1);
    EXPECT_EQ(child->PipeCapacity(), -1);
    EXPECT_EQ(ReadToEnd(moved).size(), 10u);
}

TEST(NoLostWorkChildProcess, TerminateEndsTheChildAndKillsOneDeafToIt)
{
    const fs::path never = kestrine::test::FreshTestDir() / "never";
    for (const bool deaf : {false, true}) {
        SCOPED_TRACE(deaf);
        auto child = deaf ? StartChild({"deaf"}) : StartChild({"wait-for", never.string()});
        ASSERT_TRUE(child);
        const pid_t pid = child->Pid();
        // Its pid line comes once it is in its loop (the deaf one ignoring SIGTERM by then).
        std::array<char, 64> buffer{};
        ASSERT_TRUE(Eventually([&] {
            child->WaitForOutputOrEnd(std::chrono::milliseconds(10));
            return child->ReadAvailable(buffer) > 0;
        }));
        child->Terminate(std::chrono::milliseconds(300));
        EXPECT_TRUE(child->HasEnded());
        EXPECT_EQ(ProcessState(pid), 0) << "not reaped";
        ASSERT_TRUE(WIFSIGNALED(child->WaitStatus()));
        EXPECT_EQ(WTERMSIG(child->WaitStatus()), deaf ? SIGKILL : SIGTERM);
    }
}
