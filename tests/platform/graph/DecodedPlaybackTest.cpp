#include "GraphTestSupport.h"

#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/FfmpegDecoder.h"
#include "platform/graph/VideoInfo.h"
#include "platform/render/PictureImage.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"
#include "support/TestPictures.h"

#include <cmath>
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
