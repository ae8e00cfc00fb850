#include "GraphTestSupport.h"

#include "asf/AsfFile.h"
#include "asf/DataPacket.h"
#include "asf/PacketReader.h"

#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/FfmpegDecoder.h"
#include "platform/graph/VideoInfo.h"
#include "platform/graph/WaveFormat.h"
#include "platform/com/ErrorText.h"
#include "platform/render/PictureImage.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

#include <cmath>
#include <fstream>
#include <cstdlib>

using namespace kestrine::platform;
using kestrine::platform::testing::FilterGraphStartLatencyForTests;
using kestrine::platform::testing::GraphTest;

namespace {

std::vector<ComPtr<IBaseFilter>> Filters(IFilterGraph* graph)
{
    std::vector<ComPtr<IBaseFilter>> out;
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.GetAddressOf());
    ComPtr<IBaseFilter> f;
    while (e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) out.push_back(f);
    return out;
}

// The renderer the graph made for a kind of stream.
MemoryRenderer* RendererFor(IFilterGraph* graph, const GUID& major)
{
    for (const auto& f : Filters(graph)) {
        CLSID clsid;
        f->GetClassID(&clsid);
        if (clsid != MemoryRenderer::kClsid) continue;
        auto* r = static_cast<MemoryRenderer*>(f.Get());
        if (r->MajorType() == major) return r;
    }
    return nullptr;
}

// Frame n as ffmpeg itself decodes it, in the same pixel layout.
std::string FfmpegFrame(const std::filesystem::path& file, int n)
{
    const auto r = kestrine::test::RunProgram(
        "ffmpeg", {"-v", "error", "-i", file.string(), "-vf", "select=eq(n\\," + std::to_string(n) + ")", "-frames:v", "1", "-f", "rawvideo",
                   "-pix_fmt", "bgra", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

double MeanDifference(const std::vector<BYTE>& ours, const std::string& theirs)
{
    if (ours.size() != theirs.size() || ours.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) sum += std::abs(int(ours[i]) - int(static_cast<unsigned char>(theirs[i])));
    return sum / static_cast<double>(ours.size());
}

}  // namespace

class DecodedPlayback : public GraphTest {
protected:
    void Render(const std::filesystem::path& path, HRESULT expected = S_OK)
    {
        file = path;
        ASSERT_EQ(graph->RenderFile(ToWide(path.string()).c_str(), nullptr), expected);
        picture = RendererFor(graph.Get(), MEDIATYPE_Video);
        sound = RendererFor(graph.Get(), MEDIATYPE_Audio);
    }

    double ShownSeconds() const
    {
        const auto f = picture->LastPresented();
        return f ? static_cast<double>(f->mediaTime) / kUnitsPerSecond : -1;
    }

    std::filesystem::path file;
    MemoryRenderer* picture = nullptr;
    MemoryRenderer* sound = nullptr;
};

TEST_F(DecodedPlayback, PresentsTheDecodedFrameAtEverySeek)
{
    for (const char* codec : {"wmv2", "wmv1", "msmpeg4"}) {
        SCOPED_TRACE(codec);
        kestrine::test::MediaSpec spec;
        spec.videoCodec = codec;
        control->Stop();
        for (const auto& f : Filters(graph.Get())) graph->RemoveFilter(f.Get());
        Render(kestrine::test::MakeMedia(spec));
        ASSERT_TRUE(picture && sound);
        EXPECT_EQ(Filters(graph.Get()).size(), 5u);  // source, two decoders, two renderers
        const auto packets = kestrine::test::ProbePackets(file, "v:0");
        const auto keyframes = kestrine::test::ProbeVideoKeyframeTimes(file);

        ASSERT_EQ(position->put_CurrentPosition(0), S_OK);
        ASSERT_EQ(control->Run(), S_OK);
        ASSERT_EQ(control->Pause(), S_OK);
        EXPECT_NEAR(ShownSeconds(), packets.front().ptsSeconds, 1e-6);
        EXPECT_LT(MeanDifference(picture->LastPresented()->data, FfmpegFrame(file, 0)), 2.0);

        // A keyframe, frames between keyframes, the last frame.
        for (const double t : {keyframes.at(2), keyframes.at(3) + 0.2, 1.05, packets.back().ptsSeconds + 0.01}) {
            ASSERT_EQ(position->put_CurrentPosition(t), S_OK) << t;
            std::size_t n = 0;
            for (std::size_t i = 0; i < packets.size(); ++i)
                if (packets[i].ptsSeconds <= t + 1e-6) n = i;
            EXPECT_NEAR(ShownSeconds(), packets[n].ptsSeconds, 1e-6) << t;
            EXPECT_LT(MeanDifference(picture->LastPresented()->data, FfmpegFrame(file, static_cast<int>(n))), 2.0) << t << " frame " << n;
            EXPECT_NEAR(Position(), t, 1e-6);
        }
    }
}

// One keyframe in ten seconds: a seek near the end of the group decodes from its keyframe, shows
// only the picture at the time, and sends none of the sound in between.
TEST_F(DecodedPlayback, ASeekDeepIntoALongGroupShowsTheFrameAtItsTime)
{
    kestrine::test::MediaSpec spec;
    spec.durationSeconds = 11;
    spec.gopLength = 250;
    Render(kestrine::test::MakeMedia(spec));
    ASSERT_TRUE(picture && sound);
    const auto packets = kestrine::test::ProbePackets(file, "v:0");
    ASSERT_EQ(control->Pause(), S_OK);
    const auto shownBefore = picture->PresentedCount();
    const auto heardBefore = sound->PresentedCount();
    ASSERT_EQ(position->put_CurrentPosition(9.63), S_OK);
    std::size_t n = 0;
    while (n + 1 < packets.size() && packets[n + 1].ptsSeconds <= 9.63 + 1e-6) ++n;
    EXPECT_NEAR(ShownSeconds(), packets[n].ptsSeconds, 1e-6);
    EXPECT_LT(MeanDifference(picture->LastPresented()->data, FfmpegFrame(file, static_cast<int>(n))), 2.0);
    EXPECT_EQ(picture->PresentedCount(), shownBefore + 1);
    EXPECT_LE(sound->PresentedCount(), heardBefore + 1);  // at most the block the pause holds
}

TEST_F(DecodedPlayback, PlaysSoundAndPictureToOneCompletion)
{
    Render(kestrine::test::MakeMedia({}));
    ASSERT_TRUE(picture && sound);
    ASSERT_EQ(graph.Query<IBasicAudio>()->put_Volume(-2500), S_OK);
    EXPECT_EQ(sound->Volume(), -2500);
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 5 * kUnitsPerSecond);
    LONG code = 0;
    ASSERT_EQ(events->WaitForCompletion(20000, &code), S_OK);
    EXPECT_GE(picture->PresentedCount(), 95u);
    EXPECT_GT(sound->PresentedCount(), 50u);
    const AM_MEDIA_TYPE pcm = sound->ConnectedType();
    EXPECT_EQ(pcm.subtype, MEDIASUBTYPE_PCM);
    REFTIME duration = 0;
    position->get_Duration(&duration);
    EXPECT_NEAR(Position(), duration, 1e-6);
}

TEST_F(DecodedPlayback, AFileWithOnlyUndecodableStreamsIsRefusedAndAudioOnlyPlays)
{
    kestrine::test::MediaSpec spec;
    spec.videoCodec = "";
    Render(kestrine::test::MakeMedia(spec));
    EXPECT_EQ(picture, nullptr);
    ASSERT_NE(sound, nullptr);
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_GE(sound->PresentedCount(), 1u);
}

TEST_F(DecodedPlayback, TheRealWorldWmv9SampleDecodes)
{
    const auto sample = kestrine::test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "sample not present";
    Render(sample);
    ASSERT_TRUE(picture);
    ASSERT_EQ(control->Pause(), S_OK);
    const auto first = picture->LastPresented();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->data.size(), 768u * 576u * 4u);
    REFTIME duration = 0;
    ASSERT_EQ(position->get_Duration(&duration), S_OK);
    ASSERT_GT(duration, 2.0);
    ASSERT_EQ(position->put_CurrentPosition(duration / 2), S_OK);
    const auto middle = picture->LastPresented();
    ASSERT_TRUE(middle);
    EXPECT_NE(middle->data, first->data);
    EXPECT_LE(static_cast<double>(middle->mediaTime) / kUnitsPerSecond, duration / 2 + 1e-6);
}

// Pictures whose rows are not whole 64-byte blocks: the conversion must stay inside its buffer.
TEST_F(DecodedPlayback, SmallVc1RealFilesPlayToTheEndShowingFfmpegsPictures)
{
    for (const char* name : {"moon_big-streamed-markers.wmv", "moon_timecode-mini-caption-all.wmv"}) {
        SCOPED_TRACE(name);
        const auto sample = kestrine::test::SharedMediaDir() / "real" / name;
        if (!std::filesystem::exists(sample)) GTEST_SKIP() << "sample not present";
        control->Stop();
        for (const auto& f : Filters(graph.Get())) graph->RemoveFilter(f.Get());
        Render(sample);
        ASSERT_TRUE(picture);
        const auto layout = VideoInfo::Parse(picture->ConnectedType());
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->width, 120);
        ASSERT_EQ(control->Pause(), S_OK);
        const QImage first = PictureImage(picture->LastPresented()->data, *layout);
        EXPECT_LT(kestrine::test::MeanDifference(first, kestrine::test::FfmpegFrameAt(sample, ShownSeconds(), first.size())), 2.0);

        ASSERT_EQ(control->Run(), S_OK);
        clock->Advance(FilterGraphStartLatencyForTests() + 3 * kUnitsPerSecond);
        LONG code = 0;
        ASSERT_EQ(events->WaitForCompletion(20000, &code), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        EXPECT_GE(picture->PresentedCount(), kestrine::test::ProbePackets(sample, "v:0").size() - 1);
    }
}

// B-frames are stored in decode order: each picture must still come at its own time, after a seek
// and on the keyframes the cutter reports.
TEST_F(DecodedPlayback, BFrameVideoShowsThePictureOfEachTimeAndEachKeyframe)
{
    const auto sample = kestrine::test::SharedMediaDir() / "real" / "wcs_TallShip-medium.wmv";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "sample not present";
    Render(sample);
    ASSERT_TRUE(picture);
    const auto layout = VideoInfo::Parse(picture->ConnectedType());
    ASSERT_TRUE(layout);
    std::vector<double> times;  // the stream's presentation times: the objects' times, sorted
    for (const auto& p : kestrine::test::ProbePackets(sample, "v:0")) times.push_back(p.ptsSeconds);
    std::sort(times.begin(), times.end());
    const auto keyframes = kestrine::test::ProbeVideoKeyframeTimes(sample);
    ASSERT_GE(keyframes.size(), 3u);

    const auto frameAt = [&](double t) { return std::upper_bound(times.begin(), times.end(), t + 1e-6) - times.begin() - 1; };
    const auto bgra = [&](long n) {
        const std::string raw = FfmpegFrame(sample, static_cast<int>(n));
        return QImage(reinterpret_cast<const uchar*>(raw.data()), layout->width, layout->height, QImage::Format_RGB32).copy();
    };
    ASSERT_EQ(control->Pause(), S_OK);
    for (const double t : {keyframes[1], keyframes[2], keyframes[1] + 0.51, 3.78, 7.0, 20.03}) {
        ASSERT_EQ(position->put_CurrentPosition(t), S_OK) << t;
        const long n = frameAt(t);
        EXPECT_NEAR(ShownSeconds(), times[static_cast<std::size_t>(n)], 1e-6) << t;
        const QImage shown = PictureImage(picture->LastPresented()->data, *layout);
        const double same = kestrine::test::MeanDifference(shown, bgra(n));
        EXPECT_LT(same, 2.0) << t;
        EXPECT_LT(same, kestrine::test::MeanDifference(shown, bgra(n + 1))) << t;
    }
}

// What real encoders write besides one stream of each kind: alternatives, protection, live
// captures, more channels than stereo.
TEST_F(DecodedPlayback, RealFilesRenderOneOfEachAlternativeAndRefuseProtectedContent)
{
    const auto real = kestrine::test::SharedMediaDir() / "real";
    if (!std::filesystem::exists(real / "tika_testASF.asf")) GTEST_SKIP() << "real files not present";
    const auto load = [&](const char* name, HRESULT expected = S_OK) {
        control->Stop();
        for (const auto& f : Filters(graph.Get())) graph->RemoveFilter(f.Get());
        Render(real / name, expected);
    };
    const auto renderers = [&] {
        int n = 0;
        for (const auto& f : Filters(graph.Get())) {
            CLSID c;
            f->GetClassID(&c);
            n += c == MemoryRenderer::kClsid ? 1 : 0;
        }
        return n;
    };

    load("tika_testASF.asf");  // two video bitrates and a sound
    EXPECT_EQ(renderers(), 2);
    load("wcs_multilang.wma");  // five languages
    EXPECT_EQ(renderers(), 1);

    load("moon_BBB-WMAPRO9-VBR-128kbps-44khz-5.1-16bit.wma");  // 5.1, no sound device here: a stereo mix
    ASSERT_TRUE(sound);
    EXPECT_EQ(WaveFormat::Parse(sound->ConnectedType())->channels, 2);

    load("moon_timecode-short-broadcast.wmv");  // duration 0 in the header
    REFTIME duration = 0;
    ASSERT_EQ(position->get_Duration(&duration), S_OK);
    EXPECT_NEAR(duration, 0.8, 0.002);
    // Its last keyframe (0.8 s) is in the packet the capture was cut off in: the end shows the
    // last whole picture.
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(0.8), S_OK);
    EXPECT_NEAR(ShownSeconds(), 0.767, 0.001);

    load("fs_wmv_drm.wmv", HR_PROTECTED_CONTENT);
    char text[256];
    AMGetErrorTextA(HR_PROTECTED_CONTENT, text, sizeof text);
    EXPECT_NE(std::string(text).find("protected"), std::string::npos);
    EXPECT_EQ(renderers(), 0);
}

// A file cut short: before its first packet it is refused as such; later it plays as far as it goes.
TEST_F(DecodedPlayback, ATruncatedFileIsRefusedOrMeasuredFromWhatIsThere)
{
    const auto whole = kestrine::test::MakeMedia({});
    std::string bytes;
    {
        std::ifstream in(whole, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto cut = [&](std::size_t n) {
        const auto path = kestrine::test::FreshTestDir() / ("cut" + std::to_string(n) + ".wmv");
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(n));
        return path;
    };
    for (const std::size_t n : {std::size_t{100}, bytes.size() / 40}) {
        const auto shortened = cut(n);
        const HRESULT hr = graph->RenderFile(ToWide(shortened.string()).c_str(), nullptr);
        if (n == 100) {
            EXPECT_EQ(hr, VFW_E_FILE_TOO_SHORT);
            continue;
        }
        ASSERT_TRUE(SUCCEEDED(hr)) << n;
        REFTIME duration = 0;
        position->get_Duration(&duration);
        EXPECT_GT(duration, 0.0);
        EXPECT_LT(duration, kestrine::test::ProbeDurationSeconds(whole) / 2) << "measured, not the header's";
    }
}

// This file flags every picture of its video as a keyframe; only every eighty-fifth or so is one.
// A seek must decode from a real one, or it shows broken blocks.
TEST_F(DecodedPlayback, SeeksFindRealKeyframesWhereTheFileFlagsEveryPicture)
{
    const auto sample = kestrine::test::SharedMediaDir() / "real" / "tika_testASF.asf";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "sample not present";
    Render(sample);
    ASSERT_TRUE(picture);
    const auto layout = VideoInfo::Parse(picture->ConnectedType());
    ASSERT_TRUE(layout);
    ASSERT_EQ(control->Pause(), S_OK);
    for (const double t : {1.774, 4.138, 9.5}) {
        ASSERT_EQ(position->put_CurrentPosition(t), S_OK) << t;
        const QImage shown = PictureImage(picture->LastPresented()->data, *layout);
        const QImage expected = kestrine::test::FfmpegFrameAt(sample, ShownSeconds(), shown.size());
        EXPECT_LT(kestrine::test::MeanDifference(shown, expected), 3.0) << t;
    }
}

// Every picture flagged a keyframe, none of them decodable alone (their bytes zeroed), and the
// pictures starting two seconds after the sound, so not in the first packet: a seek's look back for
// a picture that stands alone must end at the stream's first picture (it once doubled its distance
// until it overflowed).
TEST_F(DecodedPlayback, ASeekFindingNoPictureThatStandsAloneStartsFromTheFirst)
{
    kestrine::test::MediaSpec spec;
    spec.gopLength = 1;
    spec.extraOutputArgs = {"-vf", "setpts=PTS+2/TB"};
    const auto made = kestrine::test::MakeMedia(spec);
    auto bytes = kestrine::test::ReadFileBytes(made);
    {
        const auto asf = kestrine::asf::AsfFile::Open(made);
        const std::uint16_t videoStream = asf.Header().LowestStream(kestrine::asf::StreamKind::Video)->number;
        kestrine::asf::PacketReader packets(asf);
        kestrine::asf::ParsedPacket parsed;
        for (kestrine::asf::PacketView p; packets.Next(p);) {
            kestrine::asf::ParseDataPacket(p.bytes, parsed);
            for (const auto& payload : parsed.payloads)
                if (payload.streamNumber == videoStream)
                    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(p.fileOffset + payload.dataOffset), payload.dataLength, 0);
        }
    }
    const auto zeroed = kestrine::test::FreshTestDir() / "zeroed.wmv";
    kestrine::test::WriteFileBytes(zeroed, bytes);
    Render(zeroed);
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(position->put_CurrentPosition(4.5), S_OK);
}
