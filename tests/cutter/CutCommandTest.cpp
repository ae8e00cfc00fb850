// Cuts made by asfbin.exe, checked against ffmpeg's own reading of source and result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "CutJoinSupport.h"
#include "asf/AsfReader.h"
#include "asf/Remuxer.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using namespace testing;

constexpr long long kNoStop = std::numeric_limits<long long>::max();

long long Ms(const std::string& seconds) { return std::llround(std::stod(seconds) * 1000.0); }

// The cut point as the user expects it, worked out from ffprobe's view of the source.
long long ExpectedStart(const std::vector<long long>& points, long long startMs, bool cvb)
{
    if (cvb) {
        long long best = points.front();
        for (long long p : points)
            if (p <= startMs) best = p;
        return best;
    }
    for (long long p : points)
        if (p >= startMs) return p;
    ADD_FAILURE() << "no cut point after " << startMs;
    return 0;
}

struct CutCase {
    std::string name;
    test::MediaSpec media;
    bool sharedSample = false;  // the real encoder's WMV9 file instead of made media
    std::string start, stop;    // "" = not given
    bool cvb = false;
    bool noIndex = false;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

fs::path SourceOf(const CutCase& c)
{
    if (c.sharedSample) return test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    return test::MakeMedia(c.media);
}

class CutMatchesSource : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutMatchesSource, FramesInTheSpanComeThroughExactly)
{
    const CutCase& c = GetParam();
    const fs::path source = SourceOf(c);
    if (c.sharedSample && !fs::exists(source)) GTEST_SKIP() << "no shared sample";
    const fs::path dir = test::FreshTestDir();
    const fs::path out = dir / "cut.wmv";

    std::vector<std::string> args = {"-i", source.string(), "-o", out.string()};
    if (!c.start.empty()) args.insert(args.end(), {"-start", c.start});
    if (!c.stop.empty()) args.insert(args.end(), {"-stop", c.stop});
    args.push_back("-y");
    if (c.cvb) args.push_back("-cvb");
    if (c.noIndex) args.push_back("-noindex");
    const test::ProgramResult run = RunAsfbin(args);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.err, "") << "everything goes to standard output";
    ASSERT_TRUE(fs::exists(out)) << run.out;
    EXPECT_EQ(DirectoryNames(dir), std::vector<std::string>{"cut.wmv"}) << "no temporary left behind";

    const auto sourceFrames = FramesOf(source);
    const auto cutFrames = FramesOf(out);
    const asf::AsfFile sourceFile = asf::AsfFile::Open(source);
    const bool hasVideo = sourceFile.Header().LowestStream(asf::StreamKind::Video) != nullptr;

    // Cut points: video keyframes, or for audio-only files the starts of audio objects.
    std::vector<long long> points;
    if (hasVideo) {
        points = KeyframesMs(source);
    } else {
        for (const Frame& f : sourceFrames.at(0)) points.push_back(f.ptsMs);
    }
    ASSERT_FALSE(points.empty());
    const long long startMs = c.start.empty() ? 0 : Ms(c.start);
    const long long stopMs = c.stop.empty() ? kNoStop : Ms(c.stop);
    const long long s = ExpectedStart(points, startMs, c.cvb);

    ASSERT_EQ(cutFrames.size(), sourceFrames.size()) << "every stream is kept";
    for (const auto& [stream, frames] : sourceFrames) {
        SCOPED_TRACE("stream index " + std::to_string(stream));
        std::vector<Frame> expected;
        for (const Frame& f : frames)
            if (f.ptsMs >= s && f.ptsMs < stopMs) expected.push_back(f);
        const std::vector<Frame>& got = cutFrames.at(stream);
        ASSERT_EQ(got.size(), expected.size());
        ASSERT_FALSE(got.empty());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].hash, expected[i].hash) << "frame " << i;
            // One shift for all streams keeps their offsets to each other as in the source.
            EXPECT_EQ(got[i].ptsMs, expected[i].ptsMs - s) << "frame " << i;
        }
    }
    if (hasVideo) {
        const auto videoPackets = test::ProbePackets(out, "v:0");
        ASSERT_FALSE(videoPackets.empty());
        EXPECT_TRUE(videoPackets.front().key) << "the cut begins on a keyframe";
        EXPECT_EQ(videoPackets.front().ptsSeconds, 0.0) << "the output's timeline starts at 0";
    }
    ExpectDecodesCleanly(out);

    // Our own reader: consistent sizes, the duration ffprobe sees, the index as asked.
    const asf::AsfFile cut = asf::AsfFile::Open(out);
    EXPECT_TRUE(cut.Warnings().empty()) << cut.Warnings().front();
    const auto& fp = cut.Header().fileProperties;
    EXPECT_EQ(fp.fileSize, fs::file_size(out));
    EXPECT_EQ(fp.dataPacketsCount, cut.Data().packetCount);
    EXPECT_EQ(cut.Data().declaredPacketCount, cut.Data().packetCount);
    EXPECT_EQ(cut.Data().packetSize, sourceFile.Data().packetSize);
    EXPECT_EQ(fp.prerollMs, sourceFile.Header().fileProperties.prerollMs);
    EXPECT_NE(cut.Data().fileId, sourceFile.Data().fileId) << "a new file gets a new ID";
    EXPECT_EQ(cut.Data().fileId, fp.fileId);
    EXPECT_FALSE(fp.Broadcast());
    const double duration = static_cast<double>(fp.playDuration) / 1e7 - static_cast<double>(fp.prerollMs) / 1000.0;
    EXPECT_NEAR(ProbeStreamDuration(out), duration, 0.0015);
    if (stopMs != kNoStop) {
        EXPECT_LE(duration, static_cast<double>(stopMs - s) / 1000.0 + 0.2);
    }
    EXPECT_FALSE(cut.Header().extension.indexParameters) << "no Index Object is written, so no parameters for one";

    const std::size_t expectedIndexes = hasVideo && !c.noIndex ? 1 : 0;
    ASSERT_EQ(cut.SimpleIndexes().size(), expectedIndexes);
    EXPECT_EQ(fp.Seekable(), !hasVideo || !c.noIndex);
    if (expectedIndexes) {
        const asf::SimpleIndex& index = cut.SimpleIndexes().front();
        EXPECT_EQ(index.fileId, fp.fileId);
        EXPECT_EQ(index.entryTimeInterval, 10'000'000u);
        ASSERT_FALSE(index.entries.empty());
        // Every entry points at a packet where a keyframe begins.
        const asf::KeyFrameScan scan = asf::ScanKeyFrames(cut);
        for (const asf::SimpleIndexEntry& e : index.entries) {
            bool found = false;
            for (const asf::CutPoint& p : scan.points) found = found || p.packetIndex == e.packetNumber;
            EXPECT_TRUE(found) << "index entry at packet " << e.packetNumber;
        }
    }
}

test::MediaSpec Media(std::string video, std::string audio, int packetSize = 0, int gop = 12)
{
    test::MediaSpec m;
    m.videoCodec = std::move(video);
    m.audioCodec = std::move(audio);
    m.packetSize = packetSize;
    m.gopLength = gop;
    return m;
}

test::MediaSpec Streamed()
{
    test::MediaSpec m = Media("wmv2", "wmav2");
    m.streamed = true;
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    FfmpegAndRealEncoder, CutMatchesSource,
    ::testing::Values(CutCase{"Wmv2FirstKeyframeAfterStart", Media("wmv2", "wmav2"), false, "1", "3"},
                      CutCase{"Wmv2LastKeyframeBeforeStart", Media("wmv2", "wmav2"), false, "1", "3", true},
                      CutCase{"Wmv2NoIndex", Media("wmv2", "wmav2"), false, "0.5", "2.5", true, true},
                      CutCase{"Wmv2StartAloneCutsToTheEnd", Media("wmv2", "wmav2"), false, "2.2", ""},
                      CutCase{"Wmv2StopAloneCutsFromTheBeginning", Media("wmv2", "wmav2"), false, "", "2.0417"},
                      CutCase{"Wmv2StartOnAKeyframeExactly", Media("wmv2", "wmav2"), false, "1.006", "3.5"},
                      CutCase{"Wmv1Packets2048", Media("wmv1", "wmav1", 2048, 25), false, "1.3", "3.7", true},
                      CutCase{"Msmpeg4Packets6000", Media("msmpeg4", "wmav2", 6000, 8), false, "0.7", "3.1"},
                      CutCase{"WmaOnly", Media("", "wmav2"), false, "1.2", "2.8"},
                      CutCase{"WmaOnlyCvb", Media("", "wmav1", 2048), false, "1.2", "2.8", true},
                      CutCase{"SourceWithoutIndex", Streamed(), false, "1.1", "3.2"},
                      CutCase{"Wmv9SampleCvb", {}, true, "1", "4", true},
                      CutCase{"Wmv9SampleFirstKeyframeAfter", {}, true, "0.1", "3.5"},
                      CutCase{"Wmv9SampleLateKeyframe", {}, true, "1", "", false, true}),
    [](const ::testing::TestParamInfo<CutCase>& p) { return p.param.name; });

}  // namespace
}  // namespace kestrine::cutter

namespace kestrine::cutter {
namespace {

// Chapters, which ffmpeg stores as ASF markers: those inside the span move with it, the rest go.
TEST(CutCommandTest, MarkersMoveWithTheSpanAndThoseOutsideAreDropped)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path meta = dir / "chapters.txt";
    {
        std::vector<std::uint8_t> text;
        const std::string s = ";FFMETADATA1\n"
                              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1500\ntitle=Intro\n"
                              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=2600\ntitle=Middle\n"
                              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2600\nEND=3500\ntitle=Late\n"
                              "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3500\nEND=4000\ntitle=After\n";
        text.assign(s.begin(), s.end());
        test::WriteFileBytes(meta, text);
    }
    const fs::path source = dir / "chapters.wmv";
    const test::ProgramResult made = test::RunProgram(
        "ffmpeg", {"-v", "error", "-i", test::MakeMedia({}).string(), "-i", meta.string(), "-map", "0",
                   "-map_chapters", "1", "-c", "copy", source.string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const fs::path out = dir / "cut.wmv";
    const test::ProgramResult r =
        RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", "1", "-stop", "3.4", "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;

    const long long s = ExpectedStart(KeyframesMs(source), 1000, false);
    const test::ProgramResult chapters = test::RunProgram(
        "ffprobe", {"-v", "error", "-show_entries", "chapter=start:chapter_tags=title", "-of", "csv=p=0", out.string()});
    const std::string expected = std::to_string((1500 - s) * 10000) + ",Middle\n" +
                                 std::to_string((2600 - s) * 10000) + ",Late\n";
    EXPECT_EQ(chapters.out, expected);

    // Each marker points at the packet where the first object at or after its time begins.
    const asf::AsfFile cut = asf::AsfFile::Open(out);
    ASSERT_EQ(cut.Header().markers.size(), 2u);
    asf::PacketReader reader(cut);
    asf::PacketView packet;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> firstAtOrAfter(2, {UINT64_MAX, 0});
    while (reader.Next(packet)) {
        const asf::ParsedPacket parsed = asf::ParseDataPacket(packet.bytes);
        for (const asf::Payload& pl : parsed.payloads)
            for (std::size_t m = 0; m < 2; ++m)
                if (pl.offsetIntoMediaObject == 0 && std::uint64_t{pl.presentationTimeMs} * 10000 >= cut.Header().markers[m].presentationTime &&
                    firstAtOrAfter[m].first == UINT64_MAX)
                    firstAtOrAfter[m] = {packet.index, parsed.sendTimeMs};
    }
    for (std::size_t m = 0; m < 2; ++m) {
        const asf::Marker& marker = cut.Header().markers[m];
        EXPECT_LE(marker.offset / cut.Data().packetSize, firstAtOrAfter[m].first) << marker.description;
        EXPECT_GE(marker.offset / cut.Data().packetSize + 2, firstAtOrAfter[m].first) << marker.description;
        EXPECT_EQ(marker.offset % cut.Data().packetSize, 0u);
    }
}

}  // namespace
}  // namespace kestrine::cutter

namespace kestrine::cutter {
namespace {

// A second video stream has keyframes of its own: it starts at its first one in the span, and each
// video stream gets its own index.
TEST(CutCommandTest, EveryVideoStreamStartsOnAKeyframeAndHasAnIndex)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path source = dir / "two-videos.wmv";
    const test::ProgramResult made = test::RunProgram(
        "ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=4", "-f", "lavfi", "-i",
                   "sine=sample_rate=44100:duration=4", "-map", "0:v", "-map", "0:v", "-map", "1:a", "-c:v:0", "wmv2",
                   "-g:v:0", "12", "-c:v:1", "wmv1", "-g:v:1", "17", "-c:a", "wmav2", source.string()});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const fs::path out = dir / "cut.wmv";
    const test::ProgramResult r = RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", "1.1", "-stop", "3.3", "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ExpectDecodesCleanly(out);

    const long long s = ExpectedStart(KeyframesMs(source), 1100, false);
    const auto source1 = test::ProbePackets(source, "v:1");
    const auto cut1 = test::ProbePackets(out, "v:1");
    ASSERT_FALSE(cut1.empty());
    EXPECT_TRUE(cut1.front().key);
    double firstKey = -1;
    for (const auto& p : source1)
        if (p.key && std::llround(p.ptsSeconds * 1000) >= s) {
            firstKey = p.ptsSeconds;
            break;
        }
    EXPECT_NEAR(cut1.front().ptsSeconds, firstKey - static_cast<double>(s) / 1000.0, 0.0005);

    const asf::AsfFile cut = asf::AsfFile::Open(out);
    ASSERT_EQ(cut.SimpleIndexes().size(), 2u);
    EXPECT_TRUE(cut.Header().fileProperties.Seekable());
}

}  // namespace
}  // namespace kestrine::cutter

namespace kestrine::cutter {
namespace {

// A file whose first group of pictures is presented before the preroll (negative media time, which
// FFmpeg's writer refuses to make): the report lists its keyframe at 0, and a cut from 0, with or
// without -cvb, begins on it and keeps that group.
TEST(CutCommandTest, KeyframesBeforeThePrerollCountAsZero)
{
    const fs::path original = test::MakeMedia({});
    const asf::AsfFile file = asf::AsfFile::Open(original);
    const long long firstKey = KeyframesMs(original).front();
    const long long shift = -(firstKey + 40);
    asf::RemuxSource early;
    early.file = &file;
    early.span.shiftMs = shift;
    MemorySink sink;
    asf::Remux({early}, sink, {});
    const fs::path dir = test::FreshTestDir();
    const fs::path source = dir / "early.wmv";
    test::WriteFileBytes(source, sink.bytes);
    ASSERT_EQ(KeyframesMs(source).front(), -40);

    const test::ProgramResult report = RunAsfbin({"-i", source.string(), "-infokf"});
    std::vector<long long> listed;
    std::istringstream lines(report.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("  X") != std::string::npos) listed.push_back(std::stoll(line));
    std::vector<long long> expected;
    for (long long k : KeyframesMs(original)) expected.push_back(std::max(0LL, k + shift));
    EXPECT_EQ(listed, expected);

    const auto originalFrames = FramesOf(original);
    for (const bool cvb : {false, true}) {
        SCOPED_TRACE(cvb ? "-cvb" : "without -cvb");
        const fs::path out = dir / "cut.wmv";
        std::vector<std::string> args = {"-i", source.string(), "-o", out.string(), "-start", "0", "-stop", "2", "-y"};
        if (cvb) args.push_back("-cvb");
        const test::ProgramResult r = RunAsfbin(args);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        // The whole first group, moved (like every cut) so that its keyframe is at 0.
        const auto got = FramesOf(out);
        for (const auto& [stream, frames] : originalFrames) {
            std::vector<Frame> kept;
            for (const Frame& f : frames)
                if (f.ptsMs >= firstKey && f.ptsMs + shift < 2000) kept.push_back(f);
            ASSERT_EQ(got.at(stream).size(), kept.size()) << "stream " << stream;
            for (std::size_t i = 0; i < kept.size(); ++i) {
                EXPECT_EQ(got.at(stream)[i].hash, kept[i].hash);
                EXPECT_EQ(got.at(stream)[i].ptsMs, kept[i].ptsMs - firstKey);
            }
        }
    }
}

}  // namespace
}  // namespace kestrine::cutter

namespace kestrine::cutter {
namespace {

// A sparse source whose packets lie beyond 4 GiB, after a hole its Data Object counts as packets:
// a cut from it finds its start without reading the hole and writes exactly what the same cut of
// the packets alone does.
TEST(CutCommandTest, PacketsBeyondFourGiBAreCutLikeAnyOthers)
{
    test::MediaSpec spec;
    spec.durationSeconds = 20;  // a start late enough that reading begins beyond the hole
    const fs::path original = test::MakeMedia(spec);
    const asf::AsfFile file = asf::AsfFile::Open(original);
    const auto& d = file.Data();
    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(original);
    const std::uint64_t hole = ((std::uint64_t{9} << 29) + d.packetSize - 1) / d.packetSize;  // 4.5 GiB of packets
    const std::uint64_t count = hole + d.packetCount;

    const fs::path dir = test::FreshTestDir();
    const fs::path sparse = dir / "sparse.wmv";
    {
        std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(d.packetsOffset));
        for (std::size_t i = 0; i < 8; ++i) {
            head[d.offset + 16 + i] = static_cast<std::uint8_t>((50 + count * d.packetSize) >> (8 * i));
            head[d.offset + 40 + i] = static_cast<std::uint8_t>(count >> (8 * i));
        }
        std::ofstream out(sparse, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
        out.seekp(static_cast<std::streamoff>(d.packetsOffset + hole * d.packetSize));
        out.write(reinterpret_cast<const char*>(bytes.data() + d.packetsOffset), static_cast<std::streamsize>(d.packetCount * d.packetSize));
        ASSERT_TRUE(out.good());
    }
    const fs::path fromSparse = dir / "from-sparse.wmv";
    const fs::path fromOriginal = dir / "from-original.wmv";
    for (const auto& [in, out] : {std::pair{sparse, fromSparse}, std::pair{original, fromOriginal}}) {
        const test::ProgramResult r = RunAsfbin({"-i", in.string(), "-o", out.string(), "-start", "14", "-stop", "16", "-y"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out.find("damaged"), std::string::npos) << r.out;
    }
    const auto expected = FramesOf(fromOriginal);
    const auto got = FramesOf(fromSparse);
    ASSERT_EQ(got.size(), expected.size());
    for (const auto& [stream, frames] : expected) {
        ASSERT_EQ(got.at(stream).size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(got.at(stream)[i].hash, frames[i].hash);
            EXPECT_EQ(got.at(stream)[i].ptsMs, frames[i].ptsMs);
        }
    }
    fs::remove(sparse);
}

}  // namespace
}  // namespace kestrine::cutter
