#pragma once
// Shared set-up for graph tests: an initialised runtime, a graph on a manual clock, and event pumping.
#include "platform/com/ComRuntime.h"
#include "platform/graph/FilterGraphManager.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MemoryRenderer.h"
#include "doubles/ManualReferenceClock.h"
#include "platform/graph/ReferenceClocks.h"
#include "doubles/TestPatternSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <functional>

namespace kestrine::platform::testing {

inline constexpr REFERENCE_TIME kFrame = kUnitsPerSecond / 10;  // 10 frames a second keeps the numbers plain

// Running starts a little ahead of the clock; tests step past that first.
inline REFERENCE_TIME FilterGraphStartLatencyForTests() { return FilterGraphManager::kStartLatency; }

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
        control = graph.Query<IMediaControl>();
        events = graph.Query<IMediaEventEx>();
        position = graph.Query<IMediaPosition>();
        ASSERT_TRUE(control && events && position);
        clock = MakeComObject<ManualReferenceClock>();
        clock->SetTime(1'000'000'000);
        ASSERT_EQ(graph.Query<IMediaFilter>()->SetSyncSource(clock.Get()), S_OK);
    }
    void TearDown() override
    {
        if (control) control->Stop();
        control.Reset();
        events.Reset();
        position.Reset();
        graph.Reset();
        CoUninitialize();
    }

    // A source with a video stream (and optionally audio) wired to renderers of our own.
    void BuildPlayback(int frames, int keyframeInterval, bool withAudio = false)
    {
        std::vector<TestPatternSource::Stream> streams{TestPatternSource::VideoStream(frames, kFrame, keyframeInterval)};
        if (withAudio) streams.push_back(TestPatternSource::AudioStream(frames * 2, kFrame / 2));
        source = MakeComObject<TestPatternSource>(streams);
        video = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
        ASSERT_EQ(graph->AddFilter(video.Get(), u"VideoWindow1"), S_OK);
        ASSERT_EQ(graph->AddFilter(source.Get(), u"source"), S_OK);
        ASSERT_EQ(graph->Render(&source->PinAt(0)), S_OK);
        if (withAudio) {
            ASSERT_EQ(graph->Render(&source->PinAt(1)), S_OK);
        }
    }

    int PresentedFrame() const
    {
        const auto frame = video->LastPresented();
        return frame ? TestPatternSource::FrameNumber(frame->data) : -1;
    }

    double Position() const
    {
        REFTIME t = -1;
        position->get_CurrentPosition(&t);
        return t;
    }

    // Lets the GUI thread's event loop run until done() or about five seconds pass.
    static bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    ComPtr<IFilterGraph2> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    ComPtr<IMediaPosition> position;
    ComPtr<ManualReferenceClock> clock;
    ComPtr<TestPatternSource> source;
    ComPtr<MemoryRenderer> video;
};

}  // namespace kestrine::platform::testing
