#include "cutter/AtomicOutputFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 131 + seed) >> 3);
    return bytes;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path)
{
    const std::string text = ReadText(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> Entries(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const OutputError& e) {
        return e.what();
    }
    return "(no error)";
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(previous_); }

private:
    mode_t previous_;
};

TEST(AtomicOutputFileTest, CommitPublishesExactlyTheBytesWrittenAsANormalFile)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path target = dir / "result.wmv";
    UmaskGuard umask(022);

    // Small pieces, one larger than the buffer, then patches into what is on disk and what is buffered.
    std::vector<std::uint8_t> expected;
    AtomicOutputFile out(target, false);
    for (const auto& piece : {Pattern(30, 1), Pattern(3u << 20, 2), Pattern(5000, 3), Pattern(700000, 4)}) {
        out.Write(piece);
        expected.insert(expected.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(out.Size(), expected.size());
    const std::vector<std::uint8_t> patch = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02};
    for (std::uint64_t at : {std::uint64_t{0}, std::uint64_t{24}, std::uint64_t{(3u << 20) + 30 + 4998},
                             std::uint64_t{expected.size() - patch.size()}}) {
        out.WriteAt(at, patch);
        std::copy(patch.begin(), patch.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
    }
    EXPECT_FALSE(fs::exists(target)) << "nothing may appear before Commit";
    ASSERT_TRUE(fs::exists(out.TemporaryPath()));
    EXPECT_EQ(out.TemporaryPath().parent_path(), dir);

    out.Commit();
    EXPECT_TRUE(out.Committed());
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"result.wmv"});
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_THROW(out.Write(patch), std::logic_error);
}

// Ranges copied from another file, gathered where adjacent, long and short, mixed with writes and
// patches; one of them lies beyond 4 GiB in a sparse input.
TEST(AtomicOutputFileTest, CopiedRangesLandInOrderBetweenWritesAndTakePatches)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path input = dir / "input.bin";
    const std::vector<std::uint8_t> low = Pattern(3u << 20, 5), high = Pattern(700000, 6);
    const std::uint64_t highAt = (std::uint64_t{9} << 29) + 123;  // 4.5 GiB and a bit
    {
        std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(low.data()), static_cast<std::streamsize>(low.size()));
        fs::resize_file(input, highAt);
        std::ofstream(input, std::ios::binary | std::ios::app).write(reinterpret_cast<const char*>(high.data()), static_cast<std::streamsize>(high.size()));
    }
    const int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    std::vector<std::uint8_t> expected;
    const auto append = [&expected](const std::vector<std::uint8_t>& from, std::size_t at, std::size_t size) {
        expected.insert(expected.end(), from.begin() + static_cast<std::ptrdiff_t>(at), from.begin() + static_cast<std::ptrdiff_t>(at + size));
    };
    const fs::path target = dir / "result.wmv";
    AtomicOutputFile out(target, false);
    const std::vector<std::uint8_t> head = Pattern(100, 7);
    out.Write(head);
    append(head, 0, head.size());
    for (std::uint64_t at = 1000; at < 1000 + (2u << 20); at += 3200) {
        out.CopyRange(fd, at, 3200);
        append(low, static_cast<std::size_t>(at), 3200);
    }
    out.CopyRange(fd, highAt + 10, 600000);
    append(high, 10, 600000);
    out.CopyRange(fd, 5, 60000);
    append(low, 5, 60000);
    out.Write(head);
    append(head, 0, head.size());
    out.CopyRange(fd, 0, 10);
    append(low, 0, 10);
    EXPECT_EQ(out.Size(), expected.size());
    const std::vector<std::uint8_t> patch = {0xDE, 0xAD, 0xBE, 0xEF};
    for (std::uint64_t at : {std::uint64_t{2}, std::uint64_t{150}, std::uint64_t{expected.size() - 8}}) {
        out.WriteAt(at, patch);
        std::copy(patch.begin(), patch.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
    }
    out.Commit();
    ::close(fd);
    EXPECT_EQ(ReadBytes(target), expected);
}

TEST(AtomicOutputFileTest, AbandonedOutputLeavesNothingBehind)
{
    const fs::path dir = test::FreshTestDir();
    {
        AtomicOutputFile out(dir / "cut.wmv", false);
        out.Write(Pattern(2u << 20, 5));
        EXPECT_EQ(Entries(dir).size(), 1u);
    }
    EXPECT_TRUE(Entries(dir).empty());

    AtomicOutputFile discarded(dir / "cut.wmv", false);
    discarded.Write(Pattern(10, 6));
    discarded.Discard();
    EXPECT_TRUE(Entries(dir).empty());
    EXPECT_THROW(discarded.Commit(), OutputError);
    EXPECT_FALSE(fs::exists(dir / "cut.wmv"));
}

TEST(AtomicOutputFileTest, ExistingOutputNeedsPermissionAndSurvivesUntilCommit)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path target = dir / "keep.wmv";
    WriteText(target, "previous result");

    EXPECT_EQ(ErrorOf([&] { AtomicOutputFile out(target, false); }),
              "\"" + target.string() + "\" already exists (-y replaces it)");
    EXPECT_EQ(ReadText(target), "previous result");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.wmv"});

    {
        AtomicOutputFile replaced(target, true);
        replaced.Write(Pattern(100, 7));
        EXPECT_EQ(ReadText(target), "previous result");
    }
    EXPECT_EQ(ReadText(target), "previous result") << "an abandoned replacement must not touch the old file";

    AtomicOutputFile replacement(target, true);
    replacement.Write(Pattern(100, 8));
    replacement.Commit();
    EXPECT_EQ(ReadBytes(target), Pattern(100, 8));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.wmv"});
}

TEST(AtomicOutputFileTest, FileThatAppearsMeanwhileIsNotReplacedWithoutPermission)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path target = dir / "race.wmv";
    AtomicOutputFile out(target, false);
    out.Write(Pattern(64, 9));
    WriteText(target, "someone else's");
    const std::string error = ErrorOf([&] { out.Commit(); });
    EXPECT_NE(error.find("cannot put \"" + target.string() + "\" in place"), std::string::npos) << error;
    EXPECT_EQ(ReadText(target), "someone else's");
}

TEST(AtomicOutputFileTest, UnusableTargetsAreRefusedWithTheirName)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path missing = dir / "no such dir" / "out.wmv";
    EXPECT_EQ(ErrorOf([&] { AtomicOutputFile out(missing, true); }),
              "cannot create a file in \"" + (dir / "no such dir").string() + "\": No such file or directory");
    fs::create_directory(dir / "sub");
    EXPECT_EQ(ErrorOf([&] { AtomicOutputFile out(dir / "sub", true); }),
              "\"" + (dir / "sub").string() + "\" is a directory");
    EXPECT_NE(ErrorOf([&] { AtomicOutputFile out(dir / "sub/", true); }).find("names a directory"),
              std::string::npos);
    EXPECT_EQ(ErrorOf([&] { AtomicOutputFile out("", true); }), "no output file name given");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"sub"});
}

TEST(AtomicOutputFileTest, WriteAtOnlyRewritesBytesAlreadyWritten)
{
    const fs::path dir = test::FreshTestDir();
    AtomicOutputFile out(dir / "x.wmv", false);
    out.Write(Pattern(10, 1));
    const std::vector<std::uint8_t> four(4, 0xAA);
    EXPECT_THROW(out.WriteAt(7, four), std::out_of_range);
    EXPECT_THROW(out.WriteAt(11, std::span<const std::uint8_t>{}), std::out_of_range);
    EXPECT_NO_THROW(out.WriteAt(6, four));
    EXPECT_EQ(out.Size(), 10u);
}

TEST(AtomicOutputFileTest, LongNamesStillGetATemporaryBesideThem)
{
    const fs::path dir = test::FreshTestDir();
    std::string name;
    while (name.size() < 246) name += "\xC3\xA9";  // multi-byte characters up to the name limit
    name += ".wmv";
    AtomicOutputFile out(dir / name, false);
    EXPECT_LE(out.TemporaryPath().filename().string().size(), 255u);
    out.Write(Pattern(3, 1));
    out.Commit();
    EXPECT_EQ(Entries(dir), std::vector<std::string>{name});
}

// Runs `child` in a forked process and returns its wait status. The child reports through its exit code.
int RunInChild(const std::function<int()>& child)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(child());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST(AtomicOutputFileTest, FileSizeLimitIsAClearErrorAndLeavesNothing)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path fresh = dir / "fresh.wmv";
    const fs::path existing = dir / "existing.wmv";
    WriteText(existing, "the user's earlier cut");

    for (const fs::path& target : {fresh, existing}) {
        for (bool throughCommit : {false, true}) {
            const int status = RunInChild([&] {
                std::signal(SIGXFSZ, SIG_IGN);  // so the write fails with EFBIG instead of killing us
                rlimit limit{200000, 200000};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
                try {
                    AtomicOutputFile out(target, true);
                    // Below the buffer size the limit is only met when Commit flushes.
                    const std::size_t total = throughCommit ? 300000 : 5u << 20;
                    for (std::size_t done = 0; done < total; done += 50000) out.Write(Pattern(50000, 3));
                    out.Commit();
                    return 11;
                } catch (const OutputError& e) {
                    const std::string expected = "cannot write \"" + target.string() + "\": File too large";
                    return std::string(e.what()) == expected ? 0 : 12;
                }
            });
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0) << target << (throughCommit ? " via Commit" : " via Write");
        }
    }
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(ReadText(existing), "the user's earlier cut");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"existing.wmv"});
}

TEST(AtomicOutputFileTest, TerminatingSignalsRemoveTheTemporary)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path dir = test::FreshTestDir();
        const fs::path target = dir / "killed.wmv";
        WriteText(target, "old");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(ready[0]);
            AtomicOutputFile out(target, true);
            out.Write(Pattern(2u << 20, 4));
            const char byte = 1;
            if (::write(ready[1], &byte, 1) != 1) ::_exit(20);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(Entries(dir).size(), 2u) << "the temporary exists while the child writes";
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << sig;
        EXPECT_EQ(WTERMSIG(status), sig) << "the process must still end by the signal";
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"killed.wmv"}) << "signal " << sig;
        EXPECT_EQ(ReadText(target), "old");
    }
}

}  // namespace
}  // namespace kestrine::cutter
