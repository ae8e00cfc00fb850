// Joins and copies made by asfbin.exe, checked frame by frame with ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CutJoinSupport.h"
#include "asf/AsfReader.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using namespace testing;

fs::path Cut(const fs::path& source, const fs::path& out, const std::string& start, const std::string& stop)
{
    const test::ProgramResult r =
        RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", start, "-stop", stop, "-y"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return out;
}

std::vector<std::string> JoinArgs(const std::vector<fs::path>& inputs, const fs::path& out)
{
    std::vector<std::string> args;
    for (const fs::path& in : inputs) args.insert(args.end(), {"-i", in.string()});
    args.insert(args.end(), {"-o", out.string(), "-y"});
    return args;
}

double OwnDuration(const fs::path& file)
{
    const asf::AsfFile f = asf::AsfFile::Open(file);
    return static_cast<double>(f.Header().fileProperties.playDuration) / 1e7 -
           static_cast<double>(f.Header().fileProperties.prerollMs) / 1000.0;
}

// The joined file holds exactly the inputs' frames, input after input, each input's timeline
// following the end of the one before. With exactEnds the inputs' own durations say where that end
// is (true of files this tool wrote); otherwise an input only has to start after the last frame of
// the one before and no later than a fifth of a second after its stated end.
void ExpectJoinOf(const std::vector<fs::path>& inputs, const fs::path& joined, bool exactEnds = true)
{
    ExpectDecodesCleanly(joined);
    const auto got = FramesOf(joined);
    std::map<int, std::size_t> at;
    double expectedOffset = 0.0;  // seconds on the output's timeline where the input should begin
    long long lastPts = -1;
    for (const fs::path& in : inputs) {
        SCOPED_TRACE(in.filename().string());
        const auto part = FramesOf(in);
        ASSERT_EQ(part.size(), got.size());
        long long first = std::numeric_limits<long long>::max();
        for (const auto& [stream, frames] : part)
            if (!frames.empty()) first = std::min(first, frames.front().ptsMs);
        std::optional<long long> offset;  // as found in the output
        long long segmentLast = lastPts;
        for (const auto& [stream, frames] : part) {
            const std::vector<Frame>& all = got.at(stream);
            for (const Frame& f : frames) {
                const std::size_t i = at[stream]++;
                ASSERT_LT(i, all.size()) << "stream " << stream;
                EXPECT_EQ(all[i].hash, f.hash) << "stream " << stream << " frame " << i;
                if (!offset) offset = all[i].ptsMs - (f.ptsMs - first);
                EXPECT_EQ(all[i].ptsMs, *offset + (f.ptsMs - first)) << "stream " << stream << " frame " << i;
                segmentLast = std::max(segmentLast, all[i].ptsMs);
            }
        }
        ASSERT_TRUE(offset);
        if (exactEnds) {
            EXPECT_NEAR(static_cast<double>(*offset), expectedOffset * 1000.0, 1.0);
        } else {
            EXPECT_GT(*offset, lastPts) << "inputs must not overlap";
            EXPECT_LE(static_cast<double>(*offset), expectedOffset * 1000.0 + 200.0);
        }
        expectedOffset = static_cast<double>(*offset) / 1000.0 + OwnDuration(in) - static_cast<double>(first) / 1000.0;
        lastPts = segmentLast;
    }
    for (const auto& [stream, frames] : got) EXPECT_EQ(at[stream], frames.size()) << "extra frames in stream " << stream;
    if (exactEnds) {
        EXPECT_NEAR(OwnDuration(joined), expectedOffset, 0.002);
    }
    EXPECT_NEAR(ProbeStreamDuration(joined), OwnDuration(joined), 0.0015);
    const asf::AsfFile reread = asf::AsfFile::Open(joined);
    EXPECT_TRUE(reread.Warnings().empty());
    EXPECT_EQ(reread.Header().fileProperties.fileSize, fs::file_size(joined));
}

// The same media with another preroll: the File Properties field patched in place.
void SetPreroll(const fs::path& file, std::uint64_t prerollMs)
{
    const asf::AsfFile f = asf::AsfFile::Open(file);
    std::uint64_t at = 0;
    for (const asf::RawObject& o : f.Header().objects)
        if (o.id == asf::guids::kFileProperties) at = o.fileOffset + 80;
    ASSERT_NE(at, 0u);
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(file);
    for (int i = 0; i < 8; ++i) bytes[at + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(prerollMs >> (8 * i));
    test::WriteFileBytes(file, bytes);
}

TEST(JoinCommandTest, TwoCutsFollowEachOther)
{
    const fs::path source = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    const fs::path a = Cut(source, dir / "temp0", "0.5", "1.9");
    const fs::path b = Cut(source, dir / "temp1", "2.2", "3.6");
    const fs::path out = dir / "temp2";
    const test::ProgramResult r = RunAsfbin(JoinArgs({a, b}, out));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ExpectJoinOf({a, b}, out);
    const asf::AsfFile joined = asf::AsfFile::Open(out);
    ASSERT_EQ(joined.SimpleIndexes().size(), 1u);
    EXPECT_TRUE(joined.Header().fileProperties.Seekable());
}

TEST(JoinCommandTest, ThreeInputsOfOtherPacketSizesAndPrerolls)
{
    test::MediaSpec small;
    small.packetSize = 2000;
    test::MediaSpec large;
    large.packetSize = 5000;
    const fs::path dir = test::FreshTestDir();
    const fs::path a = Cut(test::MakeMedia({}), dir / "a.wmv", "0", "1.5");
    const fs::path b = Cut(test::MakeMedia(small), dir / "b.wmv", "1", "2.5");
    const fs::path c = Cut(test::MakeMedia(large), dir / "c.wmv", "2", "3.9");
    SetPreroll(b, 1200);
    const fs::path out = dir / "abc.wmv";
    const test::ProgramResult r = RunAsfbin(JoinArgs({a, b, c}, out));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ExpectJoinOf({a, b, c}, out);
    const asf::AsfFile joined = asf::AsfFile::Open(out);
    const asf::AsfFile first = asf::AsfFile::Open(a);
    EXPECT_EQ(joined.Data().packetSize, first.Data().packetSize) << "the first input's packet size";
    EXPECT_EQ(joined.Header().fileProperties.prerollMs, first.Header().fileProperties.prerollMs);
}

TEST(JoinCommandTest, WholeFilesAndTheRealEncoderSample)
{
    const fs::path wmv9 = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!fs::exists(wmv9)) GTEST_SKIP() << "no shared sample";
    const fs::path dir = test::FreshTestDir();
    const fs::path out = dir / "twice.wmv";
    const test::ProgramResult r = RunAsfbin(JoinArgs({wmv9, wmv9}, out));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ExpectJoinOf({wmv9, wmv9}, out, false);
}

TEST(JoinCommandTest, NoIndexWritesNoIndexObjects)
{
    const fs::path source = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    const fs::path a = Cut(source, dir / "a.wmv", "0", "2");
    const fs::path b = Cut(source, dir / "b.wmv", "2", "4");
    std::vector<std::string> args = JoinArgs({a, b}, dir / "ab.wmv");
    args.insert(args.end(), {"-cvb", "-noindex"});
    const test::ProgramResult r = RunAsfbin(args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const asf::AsfFile joined = asf::AsfFile::Open(dir / "ab.wmv");
    EXPECT_TRUE(joined.SimpleIndexes().empty());
    EXPECT_FALSE(joined.Header().fileProperties.Seekable());
    for (const asf::TopLevelObject& o : joined.Objects())
        EXPECT_TRUE(o.id == asf::guids::kHeader || o.id == asf::guids::kData) << o.id.ToString();
    ExpectJoinOf({a, b}, dir / "ab.wmv");
}

struct Incompatible {
    std::string name;
    test::MediaSpec other;
    std::string difference;  // expected in the message
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Incompatible& c, std::ostream* os) { *os << c.name; }

class JoinRefusesIncompatible : public ::testing::TestWithParam<Incompatible> {};

TEST_P(JoinRefusesIncompatible, NamesBothFilesAndTheDifferenceAndWritesNothing)
{
    const fs::path dir = test::FreshTestDir();
    const fs::path a = test::MakeMedia({});
    const fs::path b = test::MakeMedia(GetParam().other);
    const fs::path out = dir / "joined.wmv";
    const test::ProgramResult r = RunAsfbin(JoinArgs({a, b}, out));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out.rfind("Error: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(a.string()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(b.string()), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(GetParam().difference), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(DirectoryNames(dir).empty());
}

test::MediaSpec With(void (*change)(test::MediaSpec&))
{
    test::MediaSpec m;
    change(m);
    return m;
}

INSTANTIATE_TEST_SUITE_P(
    Differences, JoinRefusesIncompatible,
    ::testing::Values(
        Incompatible{"PictureSize", With([](test::MediaSpec& m) { m.width = 352; m.height = 288; }),
                     "picture size 320x240 against 352x288"},
        Incompatible{"SampleRate", With([](test::MediaSpec& m) { m.audioSampleRate = 22050; }),
                     "sample rate 44100 against 22050 Hz"},
        Incompatible{"VideoCodec", With([](test::MediaSpec& m) { m.videoCodec = "wmv1"; }), "codec WMV2 against WMV1"},
        Incompatible{"MissingVideo", With([](test::MediaSpec& m) { m.videoCodec = ""; }), "the streams differ"}),
    [](const ::testing::TestParamInfo<Incompatible>& p) { return p.param.name; });

TEST(CopyCommandTest, CopyIsFrameIdenticalAndGainsAnIndex)
{
    test::MediaSpec streamed;
    streamed.streamed = true;
    streamed.videoCodec = "msmpeg4";
    const fs::path wmv9 = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    std::vector<fs::path> sources = {test::MakeMedia({}), test::MakeMedia(streamed)};
    if (fs::exists(wmv9)) sources.push_back(wmv9);
    for (const fs::path& source : sources) {
        SCOPED_TRACE(source.filename().string());
        const fs::path out = test::FreshTestDir() / "copy.wmv";
        const test::ProgramResult r = RunAsfbin({"-i", source.string(), "-o", out.string()});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        ExpectDecodesCleanly(out);
        const auto before = FramesOf(source);
        const auto after = FramesOf(out);
        ASSERT_EQ(before.size(), after.size());
        for (const auto& [stream, frames] : before) {
            const auto& got = after.at(stream);
            ASSERT_EQ(got.size(), frames.size());
            for (std::size_t i = 0; i < frames.size(); ++i) {
                EXPECT_EQ(got[i].hash, frames[i].hash);
                EXPECT_EQ(got[i].ptsMs, frames[i].ptsMs) << "a copy keeps every time";
            }
        }
        const asf::AsfFile copy = asf::AsfFile::Open(out);
        EXPECT_TRUE(copy.Warnings().empty());
        ASSERT_EQ(copy.SimpleIndexes().size(), 1u);
        EXPECT_TRUE(copy.Header().fileProperties.Seekable());
        EXPECT_FALSE(copy.Header().fileProperties.Broadcast());
        // Seeking through the index lands on the keyframes ffprobe lists.
        const auto keys = KeyframesMs(source);
        EXPECT_EQ(KeyframesMs(out), keys);
        const asf::KeyFrameScan scan = asf::ScanKeyFrames(copy);
        const auto& entries = copy.SimpleIndexes().front().entries;
        const std::int64_t preroll = static_cast<std::int64_t>(copy.Header().fileProperties.prerollMs);
        for (std::size_t n = 0; n < entries.size(); ++n) {
            const std::int64_t t = static_cast<std::int64_t>(n) * 1000 - preroll;  // entry n: presentation time n s
            const asf::CutPoint* expected = &scan.points.front();
            for (const asf::CutPoint& p : scan.points)
                if (p.timeMs <= t) expected = &p;
            EXPECT_EQ(entries[n].packetNumber, expected->packetIndex) << "entry " << n;
        }
        // The duration reaches the end of the last object, which a stated duration may fall short of.
        EXPECT_NEAR(ProbeStreamDuration(out), OwnDuration(out), 0.0015);
        const double stated = ProbeStreamDuration(source);
        if (stated > 0) {
            EXPECT_GE(OwnDuration(out), stated - 0.002);
            EXPECT_LE(OwnDuration(out), stated + 0.2);
        }
    }
}

}  // namespace
}  // namespace kestrine::cutter
