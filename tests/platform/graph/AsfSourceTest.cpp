#include "GraphTestSupport.h"

#include "platform/com/WideString.h"
#include "platform/graph/AsfSource.h"
#include "platform/graph/EventCodes.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

#include <cmath>

using namespace kestrine::platform;
using kestrine::platform::testing::FilterGraphStartLatencyForTests;
using kestrine::platform::testing::GraphTest;

namespace {

// Takes the compressed objects as they come, so what the source sends can be checked without a decoder.
ComPtr<MemoryRenderer> CompressedSink(GUID major) { return MakeComObject<MemoryRenderer>(major, std::vector<GUID>{}); }

// ffprobe's answer to "which video packet is showing at t": the last one presented at or before it.
double ShowingAt(const std::vector<kestrine::test::ProbedPacket>& packets, double t)
{
    double best = packets.front().ptsSeconds;
    for (const auto& p : packets)
        if (p.ptsSeconds <= t + 1e-6) best = std::max(best, p.ptsSeconds);
    return best;
}

}  // namespace

class AsfSourcePlayback : public GraphTest {
protected:
    void Load(const kestrine::test::MediaSpec& spec)
    {
        file = kestrine::test::MakeMedia(spec);
        ASSERT_EQ(AsfSource::Open(file.string(), &asfSource), S_OK);
        ASSERT_EQ(asfSource->PinCount(), 2u);
        videoSink = CompressedSink(MEDIATYPE_Video);
        audioSink = CompressedSink(MEDIATYPE_Audio);
        graph->AddFilter(static_cast<IBaseFilter*>(asfSource.Get()), u"source");
        graph->AddFilter(videoSink.Get(), u"video");
        graph->AddFilter(audioSink.Get(), u"audio");
        ASSERT_EQ(graph->ConnectDirect(&asfSource->PinAt(0), &videoSink->PinAt(0), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(&asfSource->PinAt(1), &audioSink->PinAt(0), nullptr), S_OK);
    }

    double ShownSeconds() const
    {
        const auto f = videoSink->LastPresented();
        return f ? static_cast<double>(f->mediaTime) / kUnitsPerSecond : -1;
    }

    std::filesystem::path file;
    ComPtr<AsfSource> asfSource;
    ComPtr<MemoryRenderer> videoSink;
    ComPtr<MemoryRenderer> audioSink;
};

TEST_F(AsfSourcePlayback, DescribesTheStreamsOfAnFfmpegFile)
{
    Load({});
    const AM_MEDIA_TYPE picture = videoSink->ConnectedType();
    EXPECT_EQ(picture.majortype, MEDIATYPE_Video);
    EXPECT_EQ(picture.subtype, SubtypeFromTag(FourCC('W', 'M', 'V', '2')));
    EXPECT_EQ(picture.formattype, FORMAT_VideoInfo);
    ASSERT_GE(picture.format.size(), 48u + 40u);
    EXPECT_EQ(picture.format[48 + 4] | picture.format[48 + 5] << 8, 320);  // biWidth
    const AM_MEDIA_TYPE audio = audioSink->ConnectedType();
    EXPECT_EQ(audio.subtype, SubtypeFromTag(0x0161));
    ASSERT_GE(audio.format.size(), 18u);
    EXPECT_EQ(audio.format[2], 2);  // channels

    REFTIME duration = 0;
    ASSERT_EQ(position->get_Duration(&duration), S_OK);
    EXPECT_NEAR(duration, kestrine::test::ProbeDurationSeconds(file), 0.1);
}

TEST_F(AsfSourcePlayback, SeeksLandOnTheObjectShowingAtTheTimeOnTheCuttersTimeline)
{
    for (const bool indexed : {true, false}) {
        SCOPED_TRACE(indexed ? "with simple index" : "without index");
        kestrine::test::MediaSpec spec;
        spec.withoutIndex = !indexed;
        control->Stop();
        for (auto* f : {static_cast<IBaseFilter*>(asfSource.Get()), static_cast<IBaseFilter*>(videoSink.Get()),
                        static_cast<IBaseFilter*>(audioSink.Get())})
            if (f) graph->RemoveFilter(f);
        Load(spec);
        const auto packets = kestrine::test::ProbePackets(file, "v:0");
        const auto keyframes = kestrine::test::ProbeVideoKeyframeTimes(file);
        ASSERT_GE(keyframes.size(), 5u);

        ASSERT_EQ(control->Pause(), S_OK);
        EXPECT_NEAR(ShownSeconds(), packets.front().ptsSeconds, 1e-6);
        EXPECT_TRUE(videoSink->LastPresented()->syncPoint);

        // Every keyframe the cutter reports presents that very keyframe.
        for (const double k : keyframes) {
            ASSERT_EQ(position->put_CurrentPosition(k), S_OK) << k;
            EXPECT_NEAR(ShownSeconds(), k, 1e-6) << k;
            EXPECT_TRUE(videoSink->LastPresented()->syncPoint) << k;
            EXPECT_NEAR(Position(), k, 1e-9);
        }
        // Between keyframes: the frame showing then, reached from its keyframe.
        for (const double t : {0.3, 1.01, 2.5, 3.33, 3.97}) {
            ASSERT_EQ(position->put_CurrentPosition(t), S_OK) << t;
            EXPECT_NEAR(ShownSeconds(), ShowingAt(packets, t), 1e-6) << t;
        }
    }
}

TEST_F(AsfSourcePlayback, PlaysToTheEndAndCompletesOnce)
{
    Load({});
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 5 * kUnitsPerSecond);
    LONG code = 0;
    ASSERT_EQ(events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_GE(videoSink->PresentedCount(), 95u);  // 4 s at 25 frames a second
    int completions = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) completions += code == EC_COMPLETE;
    EXPECT_EQ(completions, 1);

    // Paused at the end and run again: nothing is left, so it completes again rather than run on.
    const auto completesAgain = [&] {
        while (events->GetEvent(&code, &p1, &p2, 5000) == S_OK)
            if (code == EC_COMPLETE) return true;
        return false;
    };
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_TRUE(completesAgain());

    // After a seek back the file plays again before it completes.
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(3.0), S_OK);
    const std::size_t shown = videoSink->PresentedCount();
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 2 * kUnitsPerSecond);
    EXPECT_TRUE(completesAgain());
    EXPECT_GE(videoSink->PresentedCount(), shown + 20);
}

TEST(AsfSourceFile, RefusesFilesItCannotRead)
{
    const auto dir = kestrine::test::FreshTestDir();
    const auto good = kestrine::test::MakeMedia({});
    auto bytes = kestrine::test::ReadFileBytes(good);
    auto damaged = bytes;
    std::fill(damaged.begin() + 40, damaged.begin() + 56, std::uint8_t{0xFF});  // the first child's size
    kestrine::test::WriteFileBytes(dir / "damaged.wmv", damaged);
    bytes.resize(200);  // the header cut short
    kestrine::test::WriteFileBytes(dir / "cut.wmv", bytes);
    ComPtr<AsfSource> source;
    std::string reason;
    EXPECT_EQ(AsfSource::Open((dir / "damaged.wmv").string(), &source, &reason), VFW_E_INVALID_FILE_FORMAT);
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(source);
    EXPECT_EQ(AsfSource::Open((dir / "cut.wmv").string(), &source, &reason), VFW_E_FILE_TOO_SHORT);
    EXPECT_FALSE(source);

    ComPtr<IBaseFilter> filter;
    kestrine::test::WriteFileBytes(dir / "text.wmv", std::vector<std::uint8_t>(100, 'x'));
    EXPECT_EQ(OpenAsfSource((dir / "text.wmv").string(), &filter), VFW_E_UNKNOWN_FILE_TYPE);
}

TEST(AsfSourceFile, AudioSpreadIsPutBackInOrder)
{
    // The writer deals the chunks to span rows in turn and sends row after row: 0 2 4 | 1 3 5.
    const std::vector<std::uint8_t> sent{0, 0, 2, 2, 4, 4, 1, 1, 3, 3, 5, 5};
    const std::vector<std::uint8_t> expected{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5};
    EXPECT_EQ(UnspreadAudio(sent, 2, 6, 2), expected);
    EXPECT_EQ(UnspreadAudio(sent, 1, 6, 2), sent);   // span 1: nothing to undo
    EXPECT_EQ(UnspreadAudio(sent, 2, 5, 2), sent);   // lengths that do not fit are left alone
}
