// Faults first seen as sanitizer reports, pinned down so that an ordinary build catches them too.
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MemoryRenderer.h"
#include "support/TestMedia.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace kestrine::platform;

namespace {

// A sound renderer that keeps the times of every block it is given.
class SoundTap final : public MemoryRenderer {
public:
    SoundTap() : MemoryRenderer(MEDIATYPE_Audio, {MEDIASUBTYPE_PCM}) {}

    struct Times {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        REFERENCE_TIME mediaTime = 0;
    };
    std::vector<Times> Blocks() const
    {
        std::lock_guard lock(mutex_);
        return blocks_;
    }

protected:
    void Present(const Frame& frame) override
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back({frame.start, frame.stop, frame.mediaTime});
    }

private:
    mutable std::mutex mutex_;
    std::vector<Times> blocks_;
};

class DecoderTimes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
        control = graph.Query<IMediaControl>();
        position = graph.Query<IMediaPosition>();
        tap = MakeComObject<SoundTap>();
        ASSERT_EQ(graph->AddFilter(tap.Get(), u"Audio Renderer"), S_OK);
    }
    void TearDown() override
    {
        if (control) control->Stop();
        control.Reset();
        position.Reset();
        tap.Reset();
        graph.Reset();
        CoUninitialize();
    }

    bool PlayToTheEnd()
    {
        if (control->Run() != S_OK) return false;
        QElapsedTimer timer;
        timer.start();
        while (!tap->CompletedSegment()) {
            if (timer.elapsed() > 60000) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    // Every block lies inside the file: a block without a time of its own must not reach the
    // renderer with the decoder's "no time" value, where any sum on it overflows.
    void ExpectBlocksWithin(double fromSeconds, double toSeconds)
    {
        const auto blocks = tap->Blocks();
        ASSERT_FALSE(blocks.empty());
        const auto from = static_cast<REFERENCE_TIME>(fromSeconds * kUnitsPerSecond);
        const auto to = static_cast<REFERENCE_TIME>(toSeconds * kUnitsPerSecond);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_GE(blocks[i].mediaTime, from) << "block " << i << " of " << blocks.size();
            EXPECT_LE(blocks[i].mediaTime, to) << "block " << i << " of " << blocks.size();
            EXPECT_LT(blocks[i].start, blocks[i].stop) << "block " << i << " of " << blocks.size();
        }
    }

    ComPtr<IFilterGraph2> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaPosition> position;
    ComPtr<SoundTap> tap;
};

kestrine::test::MediaSpec ShortSound(const std::string& codec)
{
    kestrine::test::MediaSpec spec;
    spec.videoCodec = "";
    spec.audioCodec = codec;
    spec.durationSeconds = 1.5;
    spec.audioChannels = 1;
    return spec;
}

class DecoderTimesByCodec : public DecoderTimes, public ::testing::WithParamInterface<const char*> {};

TEST_P(DecoderTimesByCodec, EverySoundBlockToTheEndOfTheStreamHasATimeInsideTheFile)
{
    const auto file = kestrine::test::MakeMedia(ShortSound(GetParam()));
    ASSERT_EQ(graph->RenderFile(ToWide(file.string()).c_str(), nullptr), S_OK);
    ASSERT_TRUE(tap->PinAt(0).IsConnected());
    ASSERT_TRUE(PlayToTheEnd());
    ExpectBlocksWithin(0.0, 2.0);
}

INSTANTIATE_TEST_SUITE_P(WindowsMediaAudio, DecoderTimesByCodec, ::testing::Values("wmav1", "wmav2"));

TEST_F(DecoderTimes, SoundBlocksAfterASeekNearTheEndHaveTimesFromThere)
{
    const auto file = kestrine::test::MakeMedia(ShortSound("wmav2"));
    ASSERT_EQ(graph->RenderFile(ToWide(file.string()).c_str(), nullptr), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(1.0), S_OK);
    ASSERT_TRUE(PlayToTheEnd());
    ExpectBlocksWithin(0.5, 2.0);
}

}  // namespace
