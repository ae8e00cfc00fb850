// Failed cuts, joins and copies: a clear "Error: " line, a non-zero exit code, no output file, and
// an output that existed before left exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CutJoinSupport.h"
#include "asf/AsfFile.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const std::string kEarlierResult = "the user's earlier result";

void WriteText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct FailingRun {
    std::string name;
    std::vector<std::string> args;  // "SRC" is replaced by the source, "OUT" by the output
    int exitCode = 1;
    std::string message;            // expected in the output
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FailingRun& c, std::ostream* os) { *os << c.name; }

class FailureLeavesNoOutput : public ::testing::TestWithParam<FailingRun> {};

TEST_P(FailureLeavesNoOutput, AndAnExistingOutputSurvives)
{
    const fs::path source = test::MakeMedia({});
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "output existed" : "no output before");
        const fs::path dir = test::FreshTestDir();
        const fs::path out = dir / "temp3";
        if (existing) WriteText(out, kEarlierResult);
        std::vector<std::string> args;
        for (const std::string& a : GetParam().args)
            args.push_back(a == "SRC" ? source.string() : a == "OUT" ? out.string() : a);
        const test::ProgramResult r = RunAsfbin(args);
        EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.out;
        EXPECT_NE(r.out.find("Error: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(GetParam().message), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
        if (existing) {
            EXPECT_EQ(ReadText(out), kEarlierResult);
            EXPECT_EQ(DirectoryNames(dir), std::vector<std::string>{"temp3"});
        } else {
            EXPECT_TRUE(DirectoryNames(dir).empty()) << "no output and no temporary";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureLeavesNoOutput,
    ::testing::Values(
        FailingRun{"StartPastTheLastKeyframe", {"-i", "SRC", "-o", "OUT", "-start", "3.9", "-stop", "9", "-y"}, 1,
                   "nothing to cut"},
        FailingRun{"NoKeyframeBeforeStop", {"-i", "SRC", "-o", "OUT", "-start", "1.1", "-stop", "1.3", "-y"}, 1,
                   "nothing to cut"},
        FailingRun{"StopNotAfterStart", {"-i", "SRC", "-o", "OUT", "-start", "2", "-stop", "2", "-y"}, 2, "-stop"},
        FailingRun{"MissingInput", {"-i", "/nonexistent/a.wmv", "-o", "OUT", "-start", "0", "-stop", "1", "-y"}, 1,
                   "/nonexistent/a.wmv"},
        FailingRun{"MissingSecondInput", {"-i", "SRC", "-i", "/nonexistent/b.wmv", "-o", "OUT", "-y"}, 1,
                   "/nonexistent/b.wmv"},
        FailingRun{"MalformedTime", {"-i", "SRC", "-o", "OUT", "-start", "1,5", "-stop", "3", "-y"}, 2, "-start"}),
    [](const ::testing::TestParamInfo<FailingRun>& p) { return p.param.name; });

TEST(CutFailureTest, ExistingOutputNeedsTheOverwriteSwitch)
{
    const fs::path source = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    const fs::path out = dir / "result.wmv";
    WriteText(out, kEarlierResult);
    const test::ProgramResult refused = RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", "0", "-stop", "2"});
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    EXPECT_NE(refused.out.find("Error: "), std::string::npos);
    EXPECT_EQ(ReadText(out), kEarlierResult);

    const test::ProgramResult replaced =
        RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", "0", "-stop", "2", "-y"});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.out;
    EXPECT_NE(ReadText(out), kEarlierResult);
    ExpectDecodesCleanly(out);
    EXPECT_EQ(DirectoryNames(dir), std::vector<std::string>{"result.wmv"});
}

TEST(CutFailureTest, OutputThatIsAnInputIsRefusedAndTheInputIsUntouched)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path source = dir / "source.wmv";
    fs::copy_file(test::MakeMedia({}), source);
    const std::string before = ReadText(source);
    fs::create_hard_link(source, dir / "link.wmv");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-i", source.string(), "-o", source.string(), "-start", "1", "-stop", "2", "-y"},
          std::vector<std::string>{"-i", source.string(), "-o", (dir / "link.wmv").string(), "-y"},
          std::vector<std::string>{"-i", source.string(), "-i", source.string(), "-o", source.string(), "-y"}}) {
        const test::ProgramResult r = RunAsfbin(args);
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.out.find("Error: "), std::string::npos);
        EXPECT_EQ(ReadText(source), before);
    }
    EXPECT_EQ(DirectoryNames(dir), (std::vector<std::string>{"link.wmv", "source.wmv"}));
}

TEST(CutFailureTest, InputsThatAreNotAsfAreRefused)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path text = dir / "notes.wmv";
    WriteText(text, "this is not a Windows Media file, just text that is long enough to be looked at");
    const fs::path out = dir / "out.wmv";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-i", text.string(), "-o", out.string(), "-start", "0", "-stop", "1", "-y"},
          std::vector<std::string>{"-i", test::MakeMedia({}).string(), "-i", text.string(), "-o", out.string(), "-y"},
          std::vector<std::string>{"-i", text.string(), "-o", out.string()}}) {
        const test::ProgramResult r = RunAsfbin(args);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find("Error: " + text.string()), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(out));
    }
}

TEST(CutFailureTest, AWriteFailureLeavesNothing)
{
    // A file size limit makes the writes fail part-way, as a full disk would.
    const fs::path source = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    const fs::path out = dir / "out.wmv";
    WriteText(out, kEarlierResult);
    const test::ProgramResult r = test::RunProgram(
        "prlimit", {"--fsize=60000", (test::BinDir() / "asfbin.exe").string(), "-i", source.string(), "-o",
                    out.string(), "-start", "0", "-stop", "3", "-y"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Error: cannot write"), std::string::npos) << r.out;
    EXPECT_EQ(ReadText(out), kEarlierResult);
    EXPECT_EQ(DirectoryNames(dir), std::vector<std::string>{"out.wmv"});
}

TEST(CutFailureTest, TruncatedSourceStillCutsItsCompletePackets)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path source = dir / "truncated.wmv";
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(test::MakeMedia({}));
    bytes.resize(bytes.size() * 2 / 3 + 123);
    test::WriteFileBytes(source, bytes);
    const fs::path out = dir / "cut.wmv";
    const test::ProgramResult r = RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", "0.5", "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ExpectDecodesCleanly(out);
    const auto frames = FramesOf(out);
    EXPECT_FALSE(frames.empty());
}

TEST(CutFailureTest, DamagedPacketsAreSkippedWithAWarningAndOnlyWholeObjectsWritten)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path source = dir / "damaged.wmv";
    const fs::path original = test::MakeMedia({});
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(original);
    // Packet 40's header made unreadable: its error correction flags claim lengths that cannot be.
    const asf::AsfFile file = asf::AsfFile::Open(original);
    const std::size_t packetSize = file.Data().packetSize;
    const std::size_t firstPacket = static_cast<std::size_t>(file.Data().packetsOffset);
    ASSERT_GT(file.Data().packetCount, 50u);
    ASSERT_EQ(bytes[firstPacket], 0x82);
    for (std::size_t i = 0; i < 16; ++i) bytes[firstPacket + 40 * packetSize + i] = 0xFF;
    test::WriteFileBytes(source, bytes);

    const fs::path out = dir / "cut.wmv";
    const test::ProgramResult r = RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", "0", "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Warning: 1 damaged packet(s) skipped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("incomplete media object(s) left out"), std::string::npos) << r.out;

    // What was written is a subset of the source's frames, in order, each one whole.
    const auto before = FramesOf(original);
    const auto after = FramesOf(out);
    std::size_t missing = 0;
    for (const auto& [stream, frames] : after) {
        const auto& all = before.at(stream);
        std::size_t j = 0;
        for (const Frame& f : frames) {
            while (j < all.size() && all[j].hash != f.hash) ++j;
            ASSERT_LT(j, all.size()) << "a frame that is not the source's in stream " << stream;
            ++j;
        }
        missing += all.size() - frames.size();
    }
    EXPECT_GE(missing, 1u);
    EXPECT_LE(missing, 4u);
}

}  // namespace
}  // namespace kestrine::cutter
