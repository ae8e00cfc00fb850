#include "../graph/GraphTestSupport.h"

#include "platform/graph/EventCodes.h"
#include "platform/render/AudioRenderer.h"
#include "platform/render/AudioVolume.h"

using namespace kestrine::platform;
using kestrine::platform::testing::FilterGraphStartLatencyForTests;
using kestrine::platform::testing::GraphTest;
using kestrine::platform::testing::kFrame;

TEST(AudioVolume, HundredthsOfADecibelBecomeLinearGain)
{
    EXPECT_EQ(VolumeToGain(-10000), 0.0) << "the bottom is muted";
    EXPECT_EQ(VolumeToGain(-20000), 0.0);
    EXPECT_NEAR(VolumeToGain(-2000), 0.1, 1e-12);
    EXPECT_NEAR(VolumeToGain(-4000), 0.01, 1e-12);
    EXPECT_EQ(VolumeToGain(0), 1.0);
    EXPECT_GT(VolumeToGain(-9999), 0.0);
}

TEST(AudioRendererControls, VolumeIsCheckedAndAnsweredThroughTheRenderer)
{
    auto renderer = MakeComObject<AudioRenderer>();
    auto audio = renderer.Query<IBasicAudio>();
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->put_Volume(-2000), S_OK);
    LONG v = 0;
    EXPECT_EQ(audio->get_Volume(&v), S_OK);
    EXPECT_EQ(v, -2000);
    EXPECT_NEAR(renderer->Gain(), 0.1, 1e-12);
    EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(audio->put_Volume(-10001), E_INVALIDARG);
    EXPECT_EQ(renderer->Volume(), -2000) << "a refused value changes nothing";
    auto clock = renderer.Query<IReferenceClock>();
    ASSERT_TRUE(clock);
    REFERENCE_TIME a = 0;
    REFERENCE_TIME b = 0;
    clock->GetTime(&a);
    clock->GetTime(&b);
    EXPECT_GE(b, a);
}

class SilentSinkTest : public GraphTest {};

TEST_F(SilentSinkTest, ConsumesAtTheClocksPaceAndCompletesOnce)
{
    constexpr int kBlocks = 20;  // 20 blocks of 50 ms: one second of sound
    source = MakeComObject<TestPatternSource>(std::vector<TestPatternSource::Stream>{TestPatternSource::AudioStream(kBlocks, kFrame / 2)});
    auto sound = MakeComObject<AudioRenderer>();
    ASSERT_EQ(graph->AddFilter(sound.Get(), u"Audio Renderer"), S_OK);
    ASSERT_EQ(graph->AddFilter(source.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->Render(&source->PinAt(0)), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(0), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests());

    // Each step of the clock lets exactly the samples that fell due be consumed, never more.
    for (int step = 1; step <= 4; ++step) {
        clock->Advance(kUnitsPerSecond / 4);
        const REFERENCE_TIME due = step * kUnitsPerSecond / 4;
        ASSERT_TRUE(PumpUntil([&] { return sound->ConsumedTime() >= due; })) << "step " << step;
        EXPECT_LE(sound->ConsumedTime(), due + kFrame / 2) << "ran ahead of the clock at step " << step;
    }
    LONG code = 0;
    ASSERT_TRUE(PumpUntil([&] { return sound->CompletedSegment(); }));
    ASSERT_EQ(events->WaitForCompletion(5000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(sound->ConsumedTime(), kBlocks * (kFrame / 2));
    EXPECT_NEAR(Position(), 1.0, 0.06);

    // Standing still, the sink consumes nothing more.
    ASSERT_EQ(control->Pause(), S_OK);
    const auto before = sound->PresentedCount();
    ASSERT_EQ(position->put_CurrentPosition(0), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return sound->PresentedCount() > before; }));
    const REFERENCE_TIME held = sound->ConsumedTime();
    EXPECT_LE(held, kFrame / 2) << "paused, only the cued block";
}
