// Copy, cut and join over every real-world sample in the shared media. Each output holds exactly the
// source's media objects of its span, stream by stream, as our reader and ffprobe's packet checksums
// see them; a join's pieces follow each other without overlap; a join decodes as cleanly as its pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CutJoinSupport.h"
#include "asf/AppendUndo.h"
#include "asf/AsfReader.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using namespace testing;

struct Sample {
    Sample(std::string file, std::string refused = "") : name(std::move(file)), refusal(std::move(refused)) {}
    std::string name;
    std::string refusal;  // set when the cutter must refuse the file: part of its message
};

void PrintTo(const Sample& s, std::ostream* os) { *os << s.name; }

struct Object {
    std::int64_t ms = 0;  // on the file's timeline: presentation time minus preroll
    bool key = false;
    std::vector<std::uint8_t> data;
    bool operator==(const Object&) const = default;
};
using Objects = std::map<int, std::vector<Object>>;  // by stream number, each in file order

std::int64_t& TimeOf(Object& o) { return o.ms; }
long long& TimeOf(Frame& f) { return f.ptsMs; }

Objects ObjectsOf(const fs::path& file)
{
    const asf::AsfFile f = asf::AsfFile::Open(file);
    asf::MediaObjectReader reader(f);
    Objects out;
    for (asf::MediaObject o; reader.Next(o);)
        out[o.streamNumber].push_back({f.TimelineMs(o.presentationTimeMs), o.keyFrame, std::move(o.data)});
    return out;
}

// Markers, then script commands (type and name), each as (time on the timeline, text) in the order
// the header holds them.
using TimedEntries = std::vector<std::pair<std::int64_t, std::string>>;

TimedEntries TimedEntriesOf(const fs::path& file)
{
    const asf::AsfFile f = asf::AsfFile::Open(file);
    const asf::Header& h = f.Header();
    const auto preroll = static_cast<std::int64_t>(h.fileProperties.prerollMs);
    TimedEntries out;
    for (const asf::Marker& m : h.markers)
        out.emplace_back(static_cast<std::int64_t>(m.presentationTime / 10000) - preroll, "marker " + m.description);
    for (const asf::ScriptCommand& c : h.scriptCommands)
        out.emplace_back(std::int64_t{c.presentationTimeMs} - preroll, h.scriptCommandTypes.at(c.typeIndex) + " " + c.name);
    return out;
}

std::int64_t DurationMs(const fs::path& file)
{
    const asf::AsfFile f = asf::AsfFile::Open(file);
    const auto& fp = f.Header().fileProperties;
    return static_cast<std::int64_t>(fp.playDuration / 10000) - static_cast<std::int64_t>(fp.prerollMs);
}

std::string Seconds(std::int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
    return text;
}

// Where a cut begins: a keyframe of the lowest video stream, or an object of the lowest audio stream.
// With cvb the last at or before `startMs` (the first when none is), else the first at or after it.
std::optional<std::int64_t> CutPoint(const Objects& source, const asf::Header& h, std::int64_t startMs, bool cvb)
{
    const asf::StreamProperties* s = h.LowestStream(asf::StreamKind::Video);
    const bool video = s != nullptr;
    if (!s) s = h.LowestStream(asf::StreamKind::Audio);
    std::vector<std::int64_t> points;
    for (const Object& o : source.at(s->number))
        if (!video || o.key) points.push_back(o.ms);
    std::sort(points.begin(), points.end());
    if (cvb) {
        std::int64_t best = points.front();
        for (std::int64_t p : points)
            if (p <= startMs) best = p;
        return best;
    }
    for (std::int64_t p : points)
        if (p >= startMs) return p;
    return std::nullopt;
}

// What a cut from cut point `fromMs` to `toMs` holds: every stream's objects in the span, video
// streams from their first keyframe on, moved so that the cut point is at 0.
Objects Expected(const Objects& source, const asf::Header& h, std::int64_t fromMs, std::int64_t toMs)
{
    Objects out;
    for (const auto& [stream, objects] : source) {
        bool waiting = h.FindStream(static_cast<std::uint16_t>(stream))->kind == asf::StreamKind::Video;
        for (Object o : objects) {
            if (o.ms < fromMs || o.ms >= toMs) continue;
            waiting = waiting && !o.key;
            if (waiting) continue;
            o.ms -= fromMs;
            out[stream].push_back(std::move(o));
        }
    }
    return out;
}

// The same through ffprobe: packet checksums in the span, each stream from its first key packet.
std::map<int, std::vector<Frame>> ExpectedFrames(const std::map<int, std::vector<Frame>>& source, std::int64_t fromMs,
                                                 std::int64_t toMs)
{
    std::map<int, std::vector<Frame>> out;
    for (const auto& [stream, frames] : source) {
        bool waiting = true;
        for (Frame f : frames) {
            if (f.ptsMs < fromMs || f.ptsMs >= toMs) continue;
            waiting = waiting && !f.key;
            if (waiting) continue;
            f.ptsMs -= fromMs;
            out[stream].push_back(f);
        }
    }
    return out;
}

void ExpectSameFrames(const std::map<int, std::vector<Frame>>& got, const std::map<int, std::vector<Frame>>& expected)
{
    for (const auto& [stream, frames] : expected) {
        SCOPED_TRACE("ffprobe stream " + std::to_string(stream));
        const auto it = got.find(stream);
        ASSERT_TRUE(it != got.end());
        ASSERT_EQ(it->second.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(it->second[i].hash, frames[i].hash) << "packet " << i;
            EXPECT_EQ(it->second[i].ptsMs, frames[i].ptsMs) << "packet " << i;
        }
    }
}

// Lines ffmpeg prints while decoding every audio and video stream of the files, each on its own.
// The frames keep the file's millisecond time base: rounded to a frame rate ffmpeg guesses, the
// times of B-frame video collide and fill the output with complaints that say nothing of the file.
int DecodeMessages(const std::vector<fs::path>& files)
{
    std::vector<std::string> args = {"-nostdin", "-v", "error"};
    for (const fs::path& f : files) args.insert(args.end(), {"-i", f.string()});
    for (std::size_t i = 0; i < files.size(); ++i)
        args.insert(args.end(), {"-map", std::to_string(i) + ":v?", "-map", std::to_string(i) + ":a?"});
    args.insert(args.end(), {"-enc_time_base", "-1", "-f", "null", "-"});
    const test::ProgramResult r = test::RunProgram("ffmpeg", args);
    return static_cast<int>(std::count(r.err.begin(), r.err.end(), '\n'));
}

// The same pieces joined by FFmpeg's concat demuxer: what its own decoder makes of that splice.
int FfmpegConcatMessages(const fs::path& first, const fs::path& second, const fs::path& dir)
{
    const fs::path list = dir / "concat.txt", out = dir / ("concat" + first.extension().string());
    const std::string text = "file '" + first.string() + "'\nfile '" + second.string() + "'\n";
    test::WriteFileBytes(list, std::vector<std::uint8_t>(text.begin(), text.end()));
    const test::ProgramResult r = test::RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-f", "concat", "-safe", "0", "-i", list.string(),
                                                              "-map", "0:v?", "-map", "0:a?", "-c", "copy", out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return DecodeMessages({out});
}

constexpr std::uint16_t kMp3 = 0x0055;

bool HasCodec(const asf::Header& h, std::uint16_t formatTag)
{
    return std::any_of(h.streams.begin(), h.streams.end(),
                       [&](const asf::StreamProperties& s) { return s.audio && s.audio->formatTag == formatTag; });
}

// The WMA codecs (1, 2, Pro, Lossless, Voice) carry bits from one packet into the next: at a splice
// a decoder may find one packet damaged per stream, which ffmpeg reports in up to two lines (as it
// does for FFmpeg's own concat of the same pieces).
int SpliceMessages(const asf::Header& h)
{
    int n = 0;
    for (const asf::StreamProperties& s : h.streams)
        if (s.audio && (s.audio->formatTag == 0x000A || (s.audio->formatTag >= 0x0160 && s.audio->formatTag <= 0x0163))) n += 2;
    return n;
}

test::ProgramResult Asfbin(std::vector<std::string> args)
{
    args.push_back("-y");
    const test::ProgramResult r = RunAsfbin(args);
    EXPECT_FALSE(r.timedOut);
    return r;
}

class RealFile : public ::testing::TestWithParam<Sample> {};

TEST_P(RealFile, CopyCutAndJoinHoldExactlyTheSourcesObjects)
{
    const fs::path source = test::SharedMediaDir() / "real" / GetParam().name;
    if (!fs::exists(source)) GTEST_SKIP() << "sample missing: " << source;
    const fs::path dir = test::FreshTestDir();
    const std::string ext = source.extension().string();
    const fs::path copy = dir / ("copy" + ext), mid = dir / ("mid" + ext), a = dir / ("a" + ext), b = dir / ("b" + ext),
                   joined = dir / ("joined" + ext);

    if (!GetParam().refusal.empty()) {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"-i", source.string(), "-o", copy.string()},
                 {"-i", source.string(), "-o", mid.string(), "-start", "1", "-stop", "2"},
                 {"-i", source.string(), "-i", source.string(), "-o", joined.string()}}) {
            const test::ProgramResult r = Asfbin(args);
            EXPECT_EQ(r.exitCode, 1) << r.out;
            EXPECT_EQ(r.out.rfind("Error: ", 0), 0u) << r.out;
            EXPECT_NE(r.out.find(GetParam().refusal), std::string::npos) << r.out;
        }
        EXPECT_TRUE(DirectoryNames(dir).empty()) << "nothing is written";
        return;
    }

    const asf::AsfFile file = asf::AsfFile::Open(source);
    const asf::Header& h = file.Header();
    const Objects objects = ObjectsOf(source);
    auto frames = FramesOf(source);
    if (file.Data().truncated) {
        // The reader lists the object the file breaks off in; no whole object holds it.
        auto last = std::max_element(frames.begin(), frames.end(), [](const auto& x, const auto& y) {
            return x.second.back().order < y.second.back().order;
        });
        last->second.pop_back();
    }
    std::int64_t lastMs = 0;
    for (const auto& [stream, list] : objects)
        for (const Object& o : list) lastMs = std::max(lastMs, o.ms);

    // A copy: every object at its own time.
    test::ProgramResult r = Asfbin({"-i", source.string(), "-o", copy.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ObjectsOf(copy), objects);
    if (!h.fileProperties.Broadcast() && !file.Data().truncated) {
        EXPECT_EQ(DurationMs(copy), DurationMs(source));
    }

    // The middle half, from the keyframe at or before its start.
    const std::int64_t quarter = lastMs / 4, half = lastMs / 2, threeQuarters = lastMs * 3 / 4;
    r = Asfbin({"-i", source.string(), "-o", mid.string(), "-start", Seconds(quarter), "-stop", Seconds(threeQuarters), "-cvb"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::int64_t midFrom = *CutPoint(objects, h, quarter, true);
    EXPECT_EQ(ObjectsOf(mid), Expected(objects, h, midFrom, threeQuarters));
    ExpectSameFrames(FramesOf(mid), ExpectedFrames(frames, midFrom, threeQuarters));

    // Two pieces, split in the middle as Record would (from the keyframe before it when none follows),
    // joined again.
    r = Asfbin({"-i", source.string(), "-o", a.string(), "-stop", Seconds(half)});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const bool bCvb = !CutPoint(objects, h, half, false);
    r = Asfbin({"-i", source.string(), "-o", b.string(), "-start", Seconds(half), bCvb ? "-cvb" : "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = Asfbin({"-i", a.string(), "-i", b.string(), "-o", joined.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // The decodes take longest: they run while the rest is checked.
    auto decoded = [](std::vector<fs::path> f) { return std::async(std::launch::async, DecodeMessages, std::move(f)); };
    std::future<int> joinedMessages = decoded({joined}), pieceMessages = decoded({a, b});
    const std::int64_t aFrom = *CutPoint(objects, h, 0, false), bFrom = *CutPoint(objects, h, half, bCvb);
    const std::int64_t aEnd = DurationMs(a);
    const auto shifted = [&](auto pieces, auto expected) {
        for (auto& [stream, list] : expected)
            for (auto& item : list) {
                TimeOf(item) += aEnd;
                pieces[stream].push_back(item);
            }
        return pieces;
    };
    const Objects aObjects = Expected(objects, h, aFrom, half);
    EXPECT_EQ(ObjectsOf(joined), shifted(aObjects, Expected(objects, h, bFrom, INT64_MAX)));
    // ffmpeg parses MP3 into frames of its own, which at a splice need not be the file's objects.
    if (!HasCodec(h, kMp3))
        ExpectSameFrames(FramesOf(joined), shifted(ExpectedFrames(frames, aFrom, half), ExpectedFrames(frames, bFrom, INT64_MAX)));
    EXPECT_EQ(DurationMs(joined), aEnd + DurationMs(b));

    // Both pieces' markers and script commands, the second's moved with it, each kind in time order.
    TimedEntries entries = TimedEntriesOf(a);
    for (auto [ms, text] : TimedEntriesOf(b)) entries.emplace_back(ms + aEnd, text);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) {
        return std::make_pair(x.second.rfind("marker ", 0) != 0, x.first) < std::make_pair(y.second.rfind("marker ", 0) != 0, y.first);
    });
    EXPECT_EQ(TimedEntriesOf(joined), entries);

    // The first piece lasts until its sound ends, where the next object of each audio stream begins
    // in the source: the second piece's sound neither overlaps it nor leaves a gap after it.
    std::int64_t soundEnd = 0;
    for (const auto& [stream, list] : aObjects) {
        if (h.FindStream(static_cast<std::uint16_t>(stream))->kind != asf::StreamKind::Audio || list.empty()) continue;
        const auto& all = objects.at(stream);
        const auto next = std::find_if(all.begin(), all.end(), [&](const Object& o) { return o.ms > list.back().ms + aFrom; });
        if (next != all.end()) soundEnd = std::max(soundEnd, next->ms - aFrom);
    }
    if (h.LowestStream(asf::StreamKind::Video))
        EXPECT_GE(aEnd, soundEnd);
    else
        EXPECT_EQ(aEnd, soundEnd);
    // A decoder's own quirks (FFmpeg's WMA Lossless stamps its delayed output with the next packet's
    // time) show as they do in FFmpeg's own concat of the same pieces.
    const int messages = joinedMessages.get();
    if (messages > pieceMessages.get() + SpliceMessages(h)) {
        EXPECT_LE(messages, FfmpegConcatMessages(a, b, dir));
    }

    // The same join made in the first piece's own file writes the same bytes but for the run's
    // identity, and the piece comes back whole from it.
    const auto aBytes = test::ReadFileBytes(a);
    const fs::path appended = dir / ("appended" + ext);
    r = Asfbin({"-i", a.string(), "-i", b.string(), "-o", appended.string(), "-append"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto comparable = [](const fs::path& f) {
        return WithoutRunIdentity(test::ReadFileBytes(f), asf::AsfFile::Open(f).Data().fileId);
    };
    EXPECT_TRUE(comparable(appended) == comparable(joined));
    // Pieces keep room in their headers for the join's markers and commands.
    ASSERT_NE(r.out.find("Appended to"), std::string::npos) << r.out;
    asf::GiveBackEarlier(appended);
    EXPECT_TRUE(test::ReadFileBytes(a) == aBytes);
}

INSTANTIATE_TEST_SUITE_P(
    SharedMedia, RealFile,
    ::testing::Values(Sample{"fs_mts2_ScreenCapture.wmv"}, Sample{"fs_wmall_master_audio_2.0_24bit.wma"},
                      Sample{"fs_wmavoice_streaming_CBR-7K.wma"}, Sample{"fs_wmv_drm.wmv", "protected"},
                      Sample{"mm_CWE-835_fuzzed.wma", "claims 0 bytes"},
                      Sample{"moon_BBB-WMAPRO9-VBR-128kbps-44khz-5.1-16bit.wma"},
                      Sample{"moon_big-streamed-markers.wmv"}, Sample{"moon_embedded-script-commands.wmv"},
                      Sample{"moon_timecode-mini-caption-all.wmv"}, Sample{"moon_timecode-short-broadcast.wmv"},
                      Sample{"moon_timecode-short-vc1-main.wmv"}, Sample{"tika_testASF.asf"},
                      Sample{"wcs_TallShip-medium.wmv"}, Sample{"wcs_mellow.wma"}, Sample{"wcs_multilang.wma"}),
    [](const ::testing::TestParamInfo<Sample>& p) {
        std::string name;
        for (char c : p.param.name.substr(0, p.param.name.rfind('.')))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

}  // namespace
}  // namespace kestrine::cutter
