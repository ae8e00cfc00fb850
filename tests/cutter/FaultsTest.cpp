// The cutter under faults from outside: the output's disk fills up, the input shrinks while it is
// read, the process is killed. Whatever happens, no output file appears unless it is whole, and a
// result that was there before is left as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CutJoinSupport.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

extern char** environ;

namespace kestrine::cutter::testing {
namespace {

namespace fs = std::filesystem;

const std::string kEarlierResult = "the user's earlier result";

void WriteText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Big enough that writing it takes a while, so the run can be caught in the middle.
fs::path LargeSource()
{
    test::MediaSpec spec;
    spec.durationSeconds = 40;
    spec.videoBitrate = "3M";
    spec.gopLength = 25;
    return test::MakeMedia(spec);
}

// asfbin.exe started directly, its standard output on a pipe, and held stopped (SIGSTOP) as soon
// as its temporary output file appears in `dir`: the run is then certainly under way.
class CaughtCutter {
public:
    CaughtCutter(const fs::path& dir, const std::vector<std::string>& args)
    {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        if (watch < 0) throw std::runtime_error("inotify_init1 failed");
        if (::inotify_add_watch(watch, dir.c_str(), IN_CREATE) < 0) throw std::runtime_error("inotify_add_watch failed");

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        outRead_ = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const std::string program = (test::BinDir() / "asfbin.exe").string();
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) throw std::runtime_error("cannot start asfbin.exe");

        // Each event names the created file; the temporary is the one ending in ".part".
        alignas(inotify_event) char buffer[4096];
        while (!caught_) {
            const ssize_t n = ::read(watch, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                const std::string name = event->len ? event->name : "";
                if (name.size() > 5 && name.ends_with(".part")) {
                    ::kill(pid_, SIGSTOP);
                    temporary_ = dir / name;
                    caught_ = true;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        ::close(watch);
        // The temporary may already have gone again: then the run was faster than the stop.
        caught_ = caught_ && fs::exists(temporary_);
    }
    ~CaughtCutter()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (outRead_ >= 0) ::close(outRead_);
    }
    CaughtCutter(const CaughtCutter&) = delete;
    CaughtCutter& operator=(const CaughtCutter&) = delete;

    bool Caught() const { return caught_; }
    const fs::path& Temporary() const { return temporary_; }
    void Signal(int signal) const { ::kill(pid_, signal); }
    void Resume() const { ::kill(pid_, SIGCONT); }

    // Lets the caught run go on until its first bytes reach the temporary, then stops it again:
    // from then on the run has certainly registered the temporary for removal. False when the run
    // ended first.
    bool StopOnceWriting()
    {
        Resume();
        for (;;) {
            std::error_code ec;
            if (fs::file_size(temporary_, ec) > 0 && !ec) {
                ::kill(pid_, SIGSTOP);
                return true;
            }
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_)
                return false;
        }
    }

    // Waits for the end; returns the raw wait status.
    int Wait()
    {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    std::string Output()
    {
        std::string text;
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(outRead_, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }

private:
    pid_t pid_ = -1;
    int outRead_ = -1;
    bool caught_ = false;
    fs::path temporary_;
};

std::vector<std::string> CutArgs(const fs::path& source, const fs::path& out)
{
    return {"-i", source.string(), "-o", out.string(), "-start", "1", "-stop", "38", "-y"};
}

TEST(FaultsTest, KilledOutrightLeavesNoOutputAndTheEarlierResultIntact)
{
    const fs::path source = LargeSource();
    const fs::path dir = test::FreshTestDir();
    const fs::path out = dir / "out.wmv";
    WriteText(out, kEarlierResult);
    CaughtCutter cutter(dir, CutArgs(source, out));
    if (!cutter.Caught()) GTEST_SKIP() << "the run ended before it could be stopped in the middle";
    cutter.Signal(SIGKILL);
    const int status = cutter.Wait();
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    // Nothing can tidy up after SIGKILL, but what it leaves is only the hidden temporary.
    EXPECT_EQ(ReadText(out), kEarlierResult);
    for (const std::string& name : DirectoryNames(dir))
        EXPECT_TRUE(name == "out.wmv" || (name.front() == '.' && name.ends_with(".part"))) << name;
}

TEST(FaultsTest, TerminationSignalsRemoveTheTemporaryAndLeaveNoOutput)
{
    const fs::path source = LargeSource();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        for (const bool existing : {false, true}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + (existing ? ", output existed" : ", no output before"));
            const fs::path dir = test::FreshTestDir();
            const fs::path out = dir / "out.wmv";
            if (existing) WriteText(out, kEarlierResult);
            CaughtCutter cutter(dir, CutArgs(source, out));
            if (!cutter.Caught() || !cutter.StopOnceWriting())
                GTEST_SKIP() << "the run ended before it could be stopped in the middle";
            cutter.Signal(signal);
            cutter.Resume();
            const int status = cutter.Wait();
            ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status) << ": " << cutter.Output();
            EXPECT_EQ(WTERMSIG(status), signal);
            EXPECT_FALSE(fs::exists(cutter.Temporary()));
            if (existing) {
                EXPECT_EQ(ReadText(out), kEarlierResult);
                EXPECT_EQ(DirectoryNames(dir), std::vector<std::string>{"out.wmv"});
            } else {
                EXPECT_TRUE(DirectoryNames(dir).empty());
            }
        }
    }
}

TEST(FaultsTest, InputCutShortWhileBeingReadFailsCleanlyOrKeepsOnlyWholePackets)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path source = dir / "shrinking.wmv";
    fs::copy_file(LargeSource(), source);
    const auto fullSize = fs::file_size(source);
    const fs::path out = dir / "out.wmv";
    WriteText(out, kEarlierResult);
    CaughtCutter cutter(dir, CutArgs(source, out));
    if (!cutter.Caught()) GTEST_SKIP() << "the run ended before it could be stopped in the middle";
    // Another program shortens the file under the running cut, off a packet boundary.
    fs::resize_file(source, fullSize / 3 + 17);
    cutter.Resume();
    const int status = cutter.Wait();
    const std::string text = cutter.Output();
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_FALSE(fs::exists(cutter.Temporary()));
    if (WEXITSTATUS(status) == 0) {
        // Taken as a truncated file: what was written is whole and says so.
        EXPECT_NE(text.find("Warning: "), std::string::npos) << text;
        ExpectDecodesCleanly(out);
        const auto frames = FramesOf(out);
        EXPECT_FALSE(frames.empty());
    } else {
        EXPECT_EQ(WEXITSTATUS(status), 1) << text;
        EXPECT_NE(text.find("Error: "), std::string::npos) << text;
        EXPECT_EQ(ReadText(out), kEarlierResult);
        EXPECT_EQ(DirectoryNames(dir), (std::vector<std::string>{"out.wmv", "shrinking.wmv"}));
    }
}

// A small tmpfs, mounted for the test and unmounted however it ends.
class SmallDisk {
public:
    explicit SmallDisk(const fs::path& where, const char* size) : where_(where)
    {
        fs::create_directories(where_);
        const std::string options = std::string("size=") + size;
        mounted_ = ::mount("kestrine-test", where_.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!mounted_) error_ = std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }

private:
    fs::path where_;
    bool mounted_ = false;
    std::string error_;
};

TEST(FaultsTest, AFullDiskFailsCutJoinAndCopyWithAMessageAndLeavesNothing)
{
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const fs::path a = test::MakeMedia({});
    test::MediaSpec second;
    second.durationSeconds = 3;
    const fs::path b = test::MakeMedia(second);
    const fs::path disk = test::FreshTestDir() / "disk";
    SmallDisk small(disk, "96k");
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << small.Error();
    const fs::path out = disk / "out.wmv";

    const std::vector<std::vector<std::string>> runs{
        {"-i", a.string(), "-o", out.string(), "-start", "0.5", "-stop", "3.5", "-y"},
        {"-i", a.string(), "-i", b.string(), "-o", out.string(), "-y"},
        {"-i", a.string(), "-o", out.string(), "-y"},
    };
    for (const auto& args : runs) {
        for (const bool existing : {false, true}) {
            SCOPED_TRACE(args[2] + (existing ? " over an existing output" : ""));
            fs::remove(out);
            if (existing) WriteText(out, kEarlierResult);
            const test::ProgramResult r = RunAsfbin(args);
            EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
            EXPECT_NE(r.out.find("Error: "), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r.out;
            if (existing) {
                EXPECT_EQ(ReadText(out), kEarlierResult);
                EXPECT_EQ(DirectoryNames(disk), std::vector<std::string>{"out.wmv"});
            } else {
                EXPECT_TRUE(DirectoryNames(disk).empty());
            }
        }
    }
}

TEST(FaultsTest, AFileSizeLimitFailsAJoinAndLeavesNothing)
{
    // The cut under a size limit is covered with the other cut failures; a join writes through
    // the same output, but over several inputs.
    const fs::path a = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    const fs::path out = dir / "joined.wmv";
    WriteText(out, kEarlierResult);
    const test::ProgramResult r = test::RunProgram(
        "prlimit", {"--fsize=60000", (test::BinDir() / "asfbin.exe").string(), "-i", a.string(), "-i", a.string(),
                    "-o", out.string(), "-y"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Error: "), std::string::npos) << r.out;
    EXPECT_EQ(ReadText(out), kEarlierResult);
    EXPECT_EQ(DirectoryNames(dir), std::vector<std::string>{"joined.wmv"});
}

}  // namespace
}  // namespace kestrine::cutter::testing
