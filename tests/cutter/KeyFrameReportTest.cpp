#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cutter/KeyFrameReport.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using test::MediaSpec;

struct ReportRun {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string text;
};

ReportRun RunReport(const fs::path& file)
{
    auto r = test::RunProgram((test::BinDir() / "asfbin.exe").string(), {"-i", file.string(), "-infokf"}, 120);
    ReportRun run;
    run.exitCode = r.exitCode;
    run.text = r.out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) run.lines.push_back(line);
    return run;
}

bool IsMarked(const std::string& line) { return line.find("  X") != std::string::npos; }

// Reads the report the way the editor does: 14 lines skipped, then the block of marked lines.
// Also checks the shape the editor relies on: one contiguous, ascending block, nothing marked elsewhere.
std::vector<long long> KeyFramesOf(const ReportRun& run)
{
    std::vector<long long> times;
    EXPECT_GT(run.lines.size(), 15u) << run.text;
    std::size_t first = 0, count = 0;
    for (std::size_t i = 0; i < run.lines.size(); ++i) {
        if (!IsMarked(run.lines[i])) continue;
        EXPECT_GE(i, 14u) << "marked line among the first 14: " << run.lines[i];
        if (count == 0) first = i;
        EXPECT_EQ(i, first + count) << "keyframe block is not contiguous at line " << i;
        ++count;
    }
    if (count) {
        EXPECT_EQ(first, 14u) << "the block should follow the 14 header lines directly";
    }
    for (std::size_t i = first; i < first + count; ++i) {
        const std::string& l = run.lines[i];
        std::size_t digits = l.find_first_not_of(' ');
        if (digits == std::string::npos) {
            ADD_FAILURE() << "blank keyframe line";
            continue;
        }
        EXPECT_EQ(l.substr(l.find("  X")), "  X") << "keyframe line carries trailing text: " << l;
        times.push_back(std::stoll(l.substr(digits)));
    }
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_LT(times[i - 1], times[i]);
    EXPECT_LT(first + count, run.lines.size()) << "no summary line after the block";
    return times;
}

std::vector<long long> ProbedKeyFramesMs(const fs::path& file)
{
    std::vector<long long> ms;
    for (double t : test::ProbeVideoKeyframeTimes(file)) ms.push_back(std::llround(t * 1000.0));
    return ms;
}

struct Case {
    const char* name;
    const char* video;
    const char* audio;
    int gop;
    int packetSize;
    bool streamed = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class KeyFrameReportMatchesFfprobe : public ::testing::TestWithParam<Case> {};

TEST_P(KeyFrameReportMatchesFfprobe, MillisecondForMillisecond)
{
    const Case& c = GetParam();
    MediaSpec spec;
    spec.videoCodec = c.video;
    spec.audioCodec = c.audio;
    spec.gopLength = c.gop;
    spec.packetSize = c.packetSize;
    spec.streamed = c.streamed;
    spec.durationSeconds = 6.0;
    fs::path file = test::MakeMedia(spec);

    ReportRun run = RunReport(file);
    EXPECT_EQ(run.exitCode, 0) << run.text;
    std::vector<long long> expected = ProbedKeyFramesMs(file);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(KeyFramesOf(run), expected) << run.text;
}

INSTANTIATE_TEST_SUITE_P(
    FfmpegMedia, KeyFrameReportMatchesFfprobe,
    ::testing::Values(Case{"wmv1_wmav1", "wmv1", "wmav1", 12, 0}, Case{"wmv2_wmav2", "wmv2", "wmav2", 12, 0},
                      Case{"msmpeg4_wmav2", "msmpeg4", "wmav2", 12, 0}, Case{"every_frame_key", "wmv2", "wmav2", 1, 0},
                      Case{"gop5_small_packets", "wmv1", "wmav2", 5, 1024},
                      Case{"gop50_large_packets", "msmpeg4", "wmav1", 50, 16000},
                      Case{"gop25_packets2048", "wmv2", "wmav1", 25, 2048},
                      Case{"video_only", "wmv2", "", 10, 0},
                      Case{"streamed_without_sizes_or_index", "wmv2", "wmav2", 12, 0, true}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(KeyFrameReport, RealEncoderSampleMatchesFfprobe)
{
    fs::path file = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!fs::exists(file)) GTEST_SKIP() << "sample missing: " << file;
    ReportRun run = RunReport(file);
    EXPECT_EQ(run.exitCode, 0) << run.text;
    EXPECT_EQ(KeyFramesOf(run), ProbedKeyFramesMs(file)) << run.text;
    // Video is stream 2 there; the report must not fall back to the audio on stream 1.
    EXPECT_NE(run.text.find("Keyframes of video stream 2"), std::string::npos) << run.text;
}

TEST(KeyFrameReport, AudioOnlyListsObjectStartsAtLeastOneSecondApart)
{
    MediaSpec spec;
    spec.videoCodec = "";
    spec.audioCodec = "wmav2";
    spec.durationSeconds = 7.0;
    fs::path file = test::MakeMedia(spec);
    ReportRun run = RunReport(file);
    EXPECT_EQ(run.exitCode, 0) << run.text;
    std::vector<long long> times = KeyFramesOf(run);
    ASSERT_GE(times.size(), 5u) << run.text;
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 1000);

    // Every listed point is the start of an audio packet ffprobe sees, and the first one is the first.
    std::vector<long long> starts;
    for (const auto& p : test::ProbePackets(file, "a:0")) starts.push_back(std::llround(p.ptsSeconds * 1000.0));
    ASSERT_FALSE(starts.empty());
    EXPECT_EQ(times.front(), std::max(0LL, starts.front()));
    for (long long t : times) EXPECT_NE(std::find(starts.begin(), starts.end(), t), starts.end()) << t;
    // The thinning is greedy: no start between two listed points is both 1 s after the first and before the second.
    for (std::size_t i = 0; i + 1 < times.size(); ++i)
        for (long long s : starts) EXPECT_FALSE(s >= times[i] + 1000 && s < times[i + 1]) << s;
}

TEST(KeyFrameReport, HeaderHasExactlyFourteenLinesForManyStreams)
{
    // A file name and a title made to look like keyframe lines must not leak into the block.
    fs::path dir = test::FreshTestDir();
    MediaSpec spec;
    spec.durationSeconds = 2.0;
    spec.extraOutputArgs = {"-metadata", "title=12345  X trap"};
    for (int i = 0; i < 7; ++i) spec.extraOutputArgs.insert(spec.extraOutputArgs.begin(), {"-map", "1:a"});
    fs::path src = test::MakeMedia(spec);
    fs::path tricky = dir / "clip  X 99  X.wmv";
    fs::copy_file(src, tricky);

    ReportRun run = RunReport(tricky);
    EXPECT_EQ(run.exitCode, 0) << run.text;
    EXPECT_EQ(KeyFramesOf(run), ProbedKeyFramesMs(src)) << run.text;
    // Nine streams do not fit: the header stays 14 lines and says how many were left out.
    ASSERT_GE(run.lines.size(), 14u);
    EXPECT_EQ(run.lines[7], "Stream 1: video WMV2 320x240");
    EXPECT_EQ(run.lines[12], "... and 4 more streams");
    EXPECT_EQ(run.lines[13], "Keyframes of video stream 1, time in ms:");
    EXPECT_EQ(run.text.find("Title:"), std::string::npos) << "no room for the title";

    // With fewer streams the title shows, its marker-like text defused.
    spec.extraOutputArgs = {"-metadata", "title=12345  X trap"};
    ReportRun titled = RunReport(test::MakeMedia(spec));
    KeyFramesOf(titled);
    EXPECT_NE(titled.text.find("Title: 12345 X trap"), std::string::npos) << titled.text;
}

TEST(KeyFrameReport, SafeTextNeverLooksLikeAKeyframeLine)
{
    EXPECT_EQ(SafeReportText("a  X b   X c X"), "a X b X c X");
    EXPECT_EQ(SafeReportText("line\nbreak\ttab"), "line?break?tab");
    std::string longName(300, 'a');
    EXPECT_EQ(SafeReportText(longName, 20).size(), 20u);
    // A multi-byte character is never cut in half.
    std::string utf8;
    for (int i = 0; i < 30; ++i) utf8 += "\xC3\xA9";
    std::string cut = SafeReportText(utf8, 20);
    EXPECT_EQ(cut.substr(cut.size() - 3), "...");
    EXPECT_EQ((cut.size() - 3) % 2, 0u);
    EXPECT_EQ(KeyFrameLine(2002), "    2002  X");
    EXPECT_EQ(KeyFrameLine(123456789), "123456789  X");
}

// ---- bad input: one "Error: <file>: ..." line, non-zero exit, no crash ----

void ExpectError(const fs::path& file, const std::string& reasonPart)
{
    ReportRun run = RunReport(file);
    EXPECT_NE(run.exitCode, 0) << run.text;
    EXPECT_LT(run.exitCode, 128) << "crashed: " << run.text;
    ASSERT_EQ(run.lines.size(), 1u) << run.text;
    EXPECT_EQ(run.lines[0].rfind("Error: " + file.string() + ": ", 0), 0u) << run.lines[0];
    EXPECT_NE(run.lines[0].find(reasonPart), std::string::npos) << run.lines[0];
}

std::vector<std::uint8_t> SampleBytes()
{
    MediaSpec spec;
    spec.durationSeconds = 3.0;
    return test::ReadFileBytes(test::MakeMedia(spec));
}

void PutU64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Offset of the first occurrence of a GUID's bytes (given in file order by a sample object).
std::size_t FindBytes(const std::vector<std::uint8_t>& hay, const std::vector<std::uint8_t>& needle)
{
    auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
    return it == hay.end() ? std::string::npos : static_cast<std::size_t>(it - hay.begin());
}

const std::vector<std::uint8_t> kFilePropertiesId = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                     0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const std::vector<std::uint8_t> kDataId = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

TEST(KeyFrameReportBadInput, MissingEmptyDirectoryAndForeignFiles)
{
    fs::path dir = test::FreshTestDir();
    ExpectError(dir / "no such file.wmv", "No such file");
    ExpectError(dir, "directory");
    ASSERT_EQ(::mkfifo((dir / "fifo.wmv").c_str(), 0600), 0);
    ExpectError(dir / "fifo.wmv", "not a regular file");  // and it must not wait for a writer
    test::WriteFileBytes(dir / "empty.wmv", {});
    ExpectError(dir / "empty.wmv", "empty");
    ExpectError(dir / "empty.wmv" / "inside a file.wmv", "Not a directory");
    test::WriteFileBytes(dir / "short.wmv", {0x30, 0x26});
    ExpectError(dir / "short.wmv", "not an ASF file");

    auto webm = test::RunProgram("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                            "testsrc2=size=64x48:rate=5:duration=1", "-c:v", "libvpx", "-f", "webm",
                                            (dir / "renamed webm.wmv").string()});
    ASSERT_EQ(webm.exitCode, 0) << webm.err;
    ExpectError(dir / "renamed webm.wmv", "WebM");
    auto mp4 = test::RunProgram("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                           "testsrc2=size=64x48:rate=5:duration=1", "-c:v", "mpeg4", "-f", "mp4",
                                           (dir / "renamed.wmv").string()});
    ASSERT_EQ(mp4.exitCode, 0) << mp4.err;
    ExpectError(dir / "renamed.wmv", "MP4");
}

TEST(KeyFrameReportBadInput, UnreadableFile)
{
    fs::path dir = test::FreshTestDir();
    fs::path file = dir / "locked.wmv";
    test::WriteFileBytes(file, SampleBytes());
    fs::permissions(file, fs::perms::none);
    std::vector<std::string> args = {"-i", file.string(), "-infokf"};
    std::string program = (test::BinDir() / "asfbin.exe").string();
    if (::geteuid() == 0) {
        // Root reads every file, so run the cutter as an unprivileged user.
        if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs setpriv when run as root";
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
        program = "/usr/bin/setpriv";
    }
    auto r = test::RunProgram(program, args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Error: " + file.string() + ": Permission denied\n");
    fs::permissions(file, fs::perms::owner_all);
}

TEST(KeyFrameReportBadInput, SizesThatLie)
{
    fs::path dir = test::FreshTestDir();
    const std::vector<std::uint8_t> good = SampleBytes();
    const std::size_t fileProps = FindBytes(good, kFilePropertiesId);
    const std::size_t data = FindBytes(good, kDataId);
    ASSERT_NE(fileProps, std::string::npos);
    ASSERT_NE(data, std::string::npos);
    const std::size_t minPacket = fileProps + 24 + 68, maxPacket = minPacket + 4;

    auto headerPastEnd = good;
    PutU64(headerPastEnd, 16, good.size() + 1000);
    test::WriteFileBytes(dir / "header.wmv", headerPastEnd);
    ExpectError(dir / "header.wmv", "past the end");

    auto childPastHeader = good;
    PutU64(childPastHeader, fileProps + 16, 1u << 30);
    test::WriteFileBytes(dir / "child.wmv", childPastHeader);
    ExpectError(dir / "child.wmv", "claims");

    auto zeroPacket = good;
    PutU32(zeroPacket, minPacket, 0);
    PutU32(zeroPacket, maxPacket, 0);
    test::WriteFileBytes(dir / "zero.wmv", zeroPacket);
    ExpectError(dir / "zero.wmv", "packet size of 0");

    auto unequal = good;
    PutU32(unequal, maxPacket, 4000);
    test::WriteFileBytes(dir / "unequal.wmv", unequal);
    ExpectError(dir / "unequal.wmv", "inconsistent");

    auto dataSizeTiny = good;
    PutU64(dataSizeTiny, data + 16, 10);
    test::WriteFileBytes(dir / "datasize.wmv", dataSizeTiny);
    ExpectError(dir / "datasize.wmv", "Data Object");

    std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + static_cast<long>(data));
    test::WriteFileBytes(dir / "headeronly.wmv", headerOnly);
    ExpectError(dir / "headeronly.wmv", "no Data Object");

    std::vector<std::uint8_t> cutInHeader(good.begin(), good.begin() + static_cast<long>(fileProps + 40));
    test::WriteFileBytes(dir / "cutheader.wmv", cutInHeader);
    ExpectError(dir / "cutheader.wmv", "past the end");
}

TEST(KeyFrameReportBadInput, TruncatedFileGivesKeyframesOfCompletePacketsThenAWarning)
{
    fs::path dir = test::FreshTestDir();
    MediaSpec spec;
    spec.durationSeconds = 8.0;
    spec.gopLength = 10;
    fs::path src = test::MakeMedia(spec);
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(src);
    const std::size_t data = FindBytes(bytes, kDataId);
    const std::size_t packets = data + 50;
    // Keep the first 60 packets and half of the 61st.
    bytes.resize(packets + 60 * 3200 + 1600);
    fs::path cut = dir / "cut.wmv";
    test::WriteFileBytes(cut, bytes);

    ReportRun run = RunReport(cut);
    EXPECT_EQ(run.exitCode, 1) << run.text;
    std::vector<long long> got = KeyFramesOf(run);
    std::vector<long long> all = ProbedKeyFramesMs(src);
    ASSERT_FALSE(got.empty());
    ASSERT_LT(got.size(), all.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << run.text;
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back().rfind("Warning: " + cut.string() + ": the file is truncated", 0), 0u) << run.text;
    EXPECT_NE(run.lines.back().find("60 complete packets"), std::string::npos) << run.lines.back();
}

TEST(KeyFrameReportBadInput, DamagedPacketIsSkippedAndReported)
{
    fs::path dir = test::FreshTestDir();
    std::vector<std::uint8_t> bytes = SampleBytes();
    const std::size_t packets = FindBytes(bytes, kDataId) + 50;
    // Packet 5 gets an impossible stream number width.
    bytes[packets + 5 * 3200 + 4] = 0xFF;
    fs::path file = dir / "damaged.wmv";
    test::WriteFileBytes(file, bytes);
    ReportRun run = RunReport(file);
    EXPECT_EQ(run.exitCode, 1) << run.text;
    KeyFramesOf(run);
    EXPECT_NE(run.text.find("1 damaged packets skipped (first: packet 5"), std::string::npos) << run.text;
}

TEST(KeyFrameReport, HelpListsEverySwitchAndTheExitCodes)
{
    auto r = test::RunProgram((test::BinDir() / "asfbin.exe").string(), {"-h"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* s : {"-i", "-o", "-start", "-stop", "-y", "-cvb", "-noindex", "-infokf", "Exit codes"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s;
    auto bad = test::RunProgram((test::BinDir() / "asfbin.exe").string(), {"-bogus"});
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_EQ(bad.out.rfind("Error: ", 0), 0u) << bad.out;
    EXPECT_TRUE(bad.err.empty()) << "all messages belong on standard output: " << bad.err;
}

}  // namespace
}  // namespace kestrine::cutter
