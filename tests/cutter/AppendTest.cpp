// A join with -append takes over its first input's file; the record beside the output gives that
// input back exactly, and a join that cannot keep the input's packets in place changes nothing.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "CutJoinSupport.h"
#include "asf/AppendUndo.h"
#include "asf/AsfReader.h"
#include "asf/SpanSearch.h"
#include "cutter/AppendedOutput.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using namespace testing;

void Cut(const fs::path& source, const fs::path& out, const std::string& from, const std::string& to)
{
    const test::ProgramResult r =
        RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", from, "-stop", to, "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
}

std::vector<std::uint8_t> Comparable(const fs::path& file)
{
    return WithoutRunIdentity(test::ReadFileBytes(file), asf::AsfFile::Open(file).Data().fileId);
}

// The editor's chain: each Record's join appends to the previous result, and Undo gives each back.
TEST(AppendTest, AChainOfAppendingJoinsWritesWhatCopyingJoinsWriteAndGivesEveryEarlierResultBack)
{
    test::MediaSpec spec;
    spec.durationSeconds = 9.0;
    const fs::path source = test::MakeMedia(spec);
    const fs::path dir = test::FreshTestDir();
    Cut(source, dir / "temp0", "0", "3");
    std::vector<std::vector<std::uint8_t>> results{test::ReadFileBytes(dir / "temp0")};
    for (int k = 1; k <= 3; ++k) {
        const fs::path earlier = dir / ("temp" + std::to_string(2 * k - 2));
        const fs::path segment = dir / ("temp" + std::to_string(2 * k - 1));
        const fs::path joined = dir / ("temp" + std::to_string(2 * k));
        Cut(source, segment, std::to_string(2 * k) + ".3", std::to_string(2 * k + 2) + ".1");
        const fs::path copied = dir / "copied";
        ASSERT_EQ(RunAsfbin({"-i", earlier.string(), "-i", segment.string(), "-o", copied.string(), "-y"}).exitCode, 0);

        const test::ProgramResult r =
            RunAsfbin({"-i", earlier.string(), "-i", segment.string(), "-o", joined.string(), "-append", "-y"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find("Appended to"), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(earlier)) << k;
        EXPECT_TRUE(fs::exists(asf::AppendUndoPath(joined))) << k;
        EXPECT_TRUE(Comparable(joined) == Comparable(copied)) << "join " << k;
        results.push_back(test::ReadFileBytes(joined));
    }
    ExpectDecodesCleanly(dir / "temp6");

    // A result changed since its join is never cut back.
    test::WriteFileBytes(dir / "temp6", [&] { auto b = results.back(); b.push_back(0); return b; }());
    EXPECT_FALSE(asf::CanGiveBack(dir / "temp6"));
    EXPECT_THROW(asf::GiveBackEarlier(dir / "temp6"), std::runtime_error);
    EXPECT_EQ(fs::file_size(dir / "temp6"), results.back().size() + 1);
    test::WriteFileBytes(dir / "temp6", results.back());

    for (int k = 3; k >= 1; --k) {
        const fs::path later = dir / ("temp" + std::to_string(2 * k));
        ASSERT_TRUE(asf::CanGiveBack(later, "temp" + std::to_string(2 * k - 2))) << k;
        EXPECT_FALSE(asf::CanGiveBack(later, "temp1"));
        const fs::path earlier = asf::GiveBackEarlier(later);
        EXPECT_EQ(earlier, dir / ("temp" + std::to_string(2 * k - 2)));
        EXPECT_TRUE(test::ReadFileBytes(earlier) == results[static_cast<std::size_t>(k - 1)]) << "given back " << k;
        EXPECT_FALSE(fs::exists(later));
        EXPECT_FALSE(fs::exists(asf::AppendUndoPath(later)));
    }
    ExpectDecodesCleanly(dir / "temp0");
}

TEST(AppendTest, AFirstInputThatCannotBeTakenOverStaysAsItWasAndTheJoinIsWrittenAnew)
{
    const fs::path source = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    Cut(source, dir / "a", "0", "2");
    Cut(source, dir / "b", "2", "4");
    const auto before = test::ReadFileBytes(dir / "a");
    // Another name would see the file change under it.
    fs::create_hard_link(dir / "a", dir / "a-too");
    test::WriteFileBytes(dir / "out.undo", {1, 2, 3});  // an older join's record

    const test::ProgramResult r =
        RunAsfbin({"-i", (dir / "a").string(), "-i", (dir / "b").string(), "-o", (dir / "out").string(), "-append"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("is not appended to (it has other names"), std::string::npos) << r.out;
    EXPECT_TRUE(test::ReadFileBytes(dir / "a") == before);
    EXPECT_FALSE(fs::exists(dir / "out.undo"));
    ExpectDecodesCleanly(dir / "out");

    // -append never replaces an output without -y.
    fs::remove(dir / "a-too");
    const test::ProgramResult again =
        RunAsfbin({"-i", (dir / "a").string(), "-i", (dir / "b").string(), "-o", (dir / "out").string(), "-append"});
    EXPECT_EQ(again.exitCode, 1) << again.out;
    EXPECT_TRUE(test::ReadFileBytes(dir / "a") == before);
}

// Passes everything on, and sends the process SIGTERM once bytes after the first input's packets
// have been written.
class SignallingSink : public asf::OutputSink {
public:
    SignallingSink(AppendedOutput& out, std::uint64_t signalAfter) : out_(out), signalAfter_(signalAfter) {}
    void Write(std::span<const std::uint8_t> b) override
    {
        out_.Write(b);
        if (out_.Size() > signalAfter_) ::raise(SIGTERM);
    }
    void WriteAt(std::uint64_t at, std::span<const std::uint8_t> b) override { out_.WriteAt(at, b); }
    std::uint64_t Size() const override { return out_.Size(); }
    void WriteCopyOf(std::span<const std::uint8_t> b, const asf::InputFile& f, std::uint64_t at) override
    {
        out_.WriteCopyOf(b, f, at);
    }

private:
    AppendedOutput& out_;
    std::uint64_t signalAfter_;
};

void AppendUntilSignalled(const fs::path& dir)
{
    const asf::AsfFile a = asf::AsfFile::Open(dir / "a");
    const asf::AsfFile b = asf::AsfFile::Open(dir / "b");
    asf::RemuxSource sa, sb;
    sa.file = &a;
    sb.file = &b;
    sb.alignToPrevious = true;
    sb.earliestPresentationMs = asf::EarliestPresentationMs(b);
    AppendedOutput out(a, {(dir / "b").string()}, dir / "out", false);
    SignallingSink sink(out, a.Data().End() + (5u << 18));
    asf::Remux({sa, sb}, sink, {});
    out.Commit();
    std::exit(0);
}

TEST(AppendTest, ATerminationSignalMidwayPutsTheFirstInputBackAndStillEndsTheProcess)
{
    test::MediaSpec spec;
    spec.width = 640;  // a segment of over a megabyte: the output's buffer goes to disk before the signal
    spec.height = 480;
    spec.videoBitrate = "8M";
    const fs::path source = test::MakeMedia(spec);
    const fs::path dir = test::FreshTestDir();
    Cut(source, dir / "a", "0", "2");
    Cut(source, dir / "b", "2", "4");
    const auto before = test::ReadFileBytes(dir / "a");
    ASSERT_GT(fs::file_size(dir / "b"), 5u << 18);
    GTEST_FLAG_SET(death_test_style, "fast");  // the child works on this test's files
    EXPECT_EXIT(AppendUntilSignalled(dir), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(test::ReadFileBytes(dir / "a") == before);
    EXPECT_EQ(DirectoryNames(dir), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace kestrine::cutter
