#include "GraphTestSupport.h"

#include "platform/graph/EventCodes.h"
#include "platform/graph/MessageWindow.h"

#include <QThread>

#include <thread>
#include <vector>

using namespace kestrine::platform;
using kestrine::platform::testing::GraphTest;
using kestrine::platform::testing::kFrame;
using kestrine::platform::testing::FilterGraphStartLatencyForTests;

namespace {

// The graph's notification message, as the filter graph component asks for it.
constexpr UINT kGraphNotify = WM_APP + 1;

struct EventLog {
    std::vector<LONG> codes;
    std::vector<LONG_PTR> firstParams;
    int messages = 0;
    bool onGuiThread = true;
};

}  // namespace

class Playback : public GraphTest {};

TEST_F(Playback, RunThenPauseAtOnceLeavesFirstPictureAtZero)
{
    BuildPlayback(50, 10);
    ASSERT_EQ(position->put_CurrentPosition(0), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(PresentedFrame(), 0);
    EXPECT_EQ(Position(), 0.0);
    OAFilterState state = -1;
    EXPECT_EQ(control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);

    // The real clock behaves the same: a Pause right after Run finds the position still at 0.
    control->Stop();
    ASSERT_EQ(graph.Query<IMediaFilter>()->SetSyncSource(MakeComObject<SystemReferenceClock>().Get()), S_OK);
    position->put_CurrentPosition(0);
    control->Run();
    control->Pause();
    EXPECT_EQ(PresentedFrame(), 0);
    EXPECT_EQ(Position(), 0.0);
}

TEST_F(Playback, PausedSeekPresentsExactlyTheFrameAtTheTime)
{
    BuildPlayback(50, 10);
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(PresentedFrame(), 0);

    struct Case {
        double seconds;
        int frame;
    };
    // Between keyframes, on keyframes, backwards, at and past the end.
    for (const Case c : {Case{1.35, 13}, Case{2.0, 20}, Case{0.05, 0}, Case{4.99, 49}, Case{3.7, 37}, Case{5.0, 49},
                         Case{9.0, 49}, Case{0.0, 0}}) {
        ASSERT_EQ(position->put_CurrentPosition(c.seconds), S_OK) << c.seconds;
        EXPECT_EQ(PresentedFrame(), c.frame) << c.seconds;
        EXPECT_NEAR(Position(), std::min(c.seconds, 5.0), 1e-9) << c.seconds;
    }
    // The frames before the target were read but never shown.
    ASSERT_EQ(position->put_CurrentPosition(1.95), S_OK);
    EXPECT_EQ(PresentedFrame(), 19);
    EXPECT_GE(source->SamplesSinceSeek(), 10u);
    REFTIME duration = 0;
    ASSERT_EQ(position->get_Duration(&duration), S_OK);
    EXPECT_DOUBLE_EQ(duration, 5.0);
}

TEST_F(Playback, PositionFollowsTheClockWhileRunningAndStandsWhilePaused)
{
    BuildPlayback(50, 10);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(PresentedFrame(), 0);
    EXPECT_EQ(Position(), 0.0);
    clock->Advance(FilterGraphStartLatencyForTests() + 15 * kFrame);
    EXPECT_NEAR(Position(), 1.5, 1e-9);
    ASSERT_TRUE(video->WaitForPresentedCount(16, 5000));
    EXPECT_EQ(PresentedFrame(), 15);

    ASSERT_EQ(control->Pause(), S_OK);
    clock->Advance(20 * kFrame);
    EXPECT_NEAR(Position(), 1.5, 1e-9);
    EXPECT_EQ(PresentedFrame(), 15);  // nothing moves while paused

    ASSERT_EQ(control->Run(), S_OK);  // resumes where it paused
    clock->Advance(FilterGraphStartLatencyForTests() + 5 * kFrame);
    EXPECT_NEAR(Position(), 2.0, 1e-9);
    ASSERT_TRUE(video->WaitForPresentedCount(21, 5000));
    EXPECT_EQ(PresentedFrame(), 20);
}

TEST_F(Playback, ARendererThatDropsLateFramesShowsOnlyWhatIsDue)
{
    BuildPlayback(50, 10);
    video->SetDropsLateFrames(true);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(PresentedFrame(), 0);
    // The clock leaps 15 frames ahead: frame 14, late by just its length, and frame 15, due, are shown.
    clock->Advance(FilterGraphStartLatencyForTests() + 15 * kFrame);
    ASSERT_TRUE(video->WaitForPresentedCount(3, 5000));
    EXPECT_EQ(PresentedFrame(), 15);
    EXPECT_NEAR(Position(), 1.5, 1e-9);
    EXPECT_EQ(video->DroppedCount(), 13u);
    // Frames that come on time are all shown.
    for (std::uint64_t shown = 4; shown <= 6; ++shown) {
        clock->Advance(kFrame);
        ASSERT_TRUE(video->WaitForPresentedCount(shown, 5000));
    }
    EXPECT_EQ(PresentedFrame(), 18);
    EXPECT_EQ(video->DroppedCount(), 13u);
}

TEST_F(Playback, SeekWhilePlayingGoesOnFromTheNewPlace)
{
    BuildPlayback(50, 10);
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 5 * kFrame);
    ASSERT_EQ(position->put_CurrentPosition(3.25), S_OK);
    EXPECT_EQ(PresentedFrame(), 32);
    EXPECT_NEAR(Position(), 3.25, 1e-9);
    const auto before = video->PresentedCount();
    clock->Advance(FilterGraphStartLatencyForTests() + 5 * kFrame);
    ASSERT_TRUE(video->WaitForPresentedCount(before + 5, 5000));
    EXPECT_EQ(PresentedFrame(), 37);
    OAFilterState state = -1;
    control->GetState(0, &state);
    EXPECT_EQ(state, State_Running);
}

TEST_F(Playback, StopKeepsThePositionAndRunResumesThere)
{
    BuildPlayback(50, 10);
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(2.5), S_OK);
    ASSERT_EQ(control->Stop(), S_OK);
    OAFilterState state = -1;
    control->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_NEAR(Position(), 2.5, 1e-9);
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(PresentedFrame(), 25);
    // Stopping twice, or pausing a paused graph, changes nothing.
    EXPECT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(control->Stop(), S_OK);
}

TEST_F(Playback, CompletionIsPostedOnceToTheNotifyWindowAndReadOnTheGuiThread)
{
    BuildPlayback(20, 5, /*withAudio=*/true);
    EventLog log;
    const QThread* gui = QThread::currentThread();
    MessageWindow window("FilterGraphEvents", "", [&](UINT message, WPARAM, LPARAM instance) -> LRESULT {
        if (message != kGraphNotify) return 0;
        ++log.messages;
        log.onGuiThread = log.onGuiThread && QThread::currentThread() == gui;
        EXPECT_EQ(instance, 77);
        LONG code = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
            log.codes.push_back(code);
            log.firstParams.push_back(p1);
            events->FreeEventParams(code, p1, p2);
        }
        return 0;
    });
    ASSERT_EQ(events->SetNotifyFlags(0), S_OK);
    ASSERT_EQ(events->SetNotifyWindow(static_cast<OAHWND>(window.Handle()), kGraphNotify, 77), S_OK);

    const auto completions = [&] { return std::count(log.codes.begin(), log.codes.end(), EC_COMPLETE); };
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 19 * kFrame);
    GraphTest::PumpUntil([&] { return video->PresentedCount() >= 20; });
    EXPECT_EQ(completions(), 0);  // the last frame has not played out yet

    clock->Advance(2 * kFrame);
    ASSERT_TRUE(GraphTest::PumpUntil([&] { return completions() >= 1; }));
    clock->Advance(50 * kFrame);
    GraphTest::PumpUntil([] { return false; }, 200);
    EXPECT_EQ(completions(), 1);
    EXPECT_GE(log.messages, 1);
    EXPECT_TRUE(log.onGuiThread);
    const auto at = std::find(log.codes.begin(), log.codes.end(), EC_COMPLETE) - log.codes.begin();
    EXPECT_EQ(log.firstParams[static_cast<std::size_t>(at)], S_OK);
    EXPECT_NEAR(Position(), 2.0, 1e-9);  // the position stops at the end

    // Paused at the end nothing completes; running again from a seek completes once more.
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(1.5), S_OK);
    clock->Advance(30 * kFrame);
    GraphTest::PumpUntil([] { return false; }, 100);
    EXPECT_EQ(completions(), 1);
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 6 * kFrame);
    ASSERT_TRUE(GraphTest::PumpUntil([&] { return completions() >= 2; }));
    EXPECT_EQ(completions(), 2);

    events->SetNotifyWindow(0, 0, 0);
}

TEST_F(Playback, EventQueueHonoursTimeoutsAndTheNoNotifyFlag)
{
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_CLOCK_CHANGED);  // the set-up gave the graph its clock
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    auto sink = graph.Query<IMediaEventSink>();
    ASSERT_TRUE(sink);
    sink->Notify(EC_VIDEO_SIZE_CHANGED, (240 << 16) | 320, 0);
    sink->Notify(EC_PAUSED, S_OK, 0);
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_VIDEO_SIZE_CHANGED);
    EXPECT_EQ(p1, (240 << 16) | 320);
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_PAUSED);

    // A reader waiting with a timeout gets an event posted meanwhile.
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        sink->Notify(EC_USERABORT, 0, 0);
    });
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 5000), S_OK);
    EXPECT_EQ(code, EC_USERABORT);
    later.join();

    ASSERT_EQ(events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY), S_OK);
    sink->Notify(EC_PAUSED, S_OK, 0);
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    LONG flags = 0;
    events->GetNotifyFlags(&flags);
    EXPECT_EQ(flags, AM_MEDIAEVENT_NONOTIFY);
    EXPECT_EQ(events->SetNotifyFlags(5), E_INVALIDARG);
    EXPECT_EQ(events->SetNotifyWindow(0x7FFFFFF0, kGraphNotify, 0), E_INVALIDARG);  // no such window
}

TEST_F(Playback, SeeksFromTheGuiThreadWhileStreamingNeverHang)
{
    // Exercises the graph's locking: run under ThreadSanitizer this shows races between the GUI
    // thread's calls and the streaming threads.
    BuildPlayback(200, 12, /*withAudio=*/true);
    ASSERT_EQ(control->Run(), S_OK);
    std::atomic<bool> ticking{true};
    std::thread ticker([&] {
        while (ticking) {
            clock->Advance(kFrame / 3);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 60; ++i) {
        const double t = (i * 37 % 190) / 10.0;
        ASSERT_TRUE(SUCCEEDED(position->put_CurrentPosition(t)));
        if (i % 7 == 3) control->Pause();
        if (i % 7 == 5) control->Run();
        if (i % 11 == 9) control->Stop();
        if (i % 11 == 10) control->Run();
        REFTIME p = -1;
        position->get_CurrentPosition(&p);
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 20.0);
    }
    ticking = false;
    ticker.join();
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(7.75), S_OK);
    EXPECT_EQ(PresentedFrame(), 77);
}
