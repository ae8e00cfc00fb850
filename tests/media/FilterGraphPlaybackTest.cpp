// A filter graph component driving a real graph: a rendered file plays, pauses and reports its end
// through OnGraphComplete on the GUI thread.
#include "FilterGraphTestSupport.h"
#include "support/TestMedia.h"

#include <thread>

namespace kestrine::media::testing {
namespace {

using FilterGraphPlayback = FilterGraphTest;

// Records the completions a graph reports.
struct Completions {
    explicit Completions(TFilterGraph& graph)
    {
        graph.OnGraphComplete = [this, &graph](QObject* sender, HRESULT result, IBaseFilter*) {
            EXPECT_EQ(sender, &graph);
            results.push_back(result);
            threads.push_back(std::this_thread::get_id());
        };
    }
    std::vector<HRESULT> results;
    std::vector<std::thread::id> threads;
};

double Position(TFilterGraph& graph)
{
    REFTIME t = -1;
    graph.GraphManager().Query<IMediaPosition>()->get_CurrentPosition(&t);
    return t;
}

TEST_F(FilterGraphPlayback, ARenderedPatternPlaysToItsEndAndReportsCompletionOnTheGuiThread)
{
    PatternFiles files;
    Journal journal;
    TFilterGraph graph;
    RecordingListener listener("L", journal);
    graph.AddGraphListener(&listener);
    Completions done(graph);
    graph.SetActive(true);
    ASSERT_EQ(graph.RenderMediaFile(files.Path("av.kpat")), S_OK);
    const auto position = graph.GraphManager().Query<IMediaPosition>();
    ASSERT_TRUE(position);
    REFTIME duration = 0;
    position->get_Duration(&duration);
    EXPECT_DOUBLE_EQ(duration, 1.0);

    ASSERT_TRUE(graph.Play());
    EXPECT_TRUE(graph.Pause());
    EXPECT_LT(Position(graph), 0.5);
    EXPECT_TRUE(done.results.empty());
    ASSERT_TRUE(graph.Play());
    ASSERT_TRUE(PumpUntil([&] { return !done.results.empty(); })) << "no completion arrived";
    EXPECT_EQ(done.results, (std::vector<HRESULT>{S_OK}));
    EXPECT_EQ(done.threads.front(), std::this_thread::get_id());
    // The listener heard the completion as an event too, after the control operations.
    const Journal controls(journal.begin(), journal.begin() + 5);
    EXPECT_EQ(controls, (Journal{"L.Control(7,1)", "L.Control(3,0)", "L.Control(4,0)", "L.Control(0,0)", "L.Control(1,0)"}));
    EXPECT_NE(std::find(journal.begin(), journal.end(), "L.Event(1,0,0)"), journal.end());

    // Reported once only, however long the loop runs on.
    PumpPosted();
    EXPECT_EQ(done.results.size(), 1u);
    EXPECT_TRUE(graph.Stop());
    graph.SetActive(false);
    graph.RemoveGraphListener(&listener);
}

TEST_F(FilterGraphPlayback, AnAsfFileOpensLikeThePlayerOpensItAndPlaysToItsEnd)
{
    kestrine::test::MediaSpec spec;
    spec.durationSeconds = 1.0;
    spec.width = 160;
    spec.height = 120;
    spec.gopLength = 5;
    const auto file = kestrine::test::MakeMedia(spec);

    Journal journal;
    TFilterGraph graph;
    RecordingProvider window("VideoWindow1", journal, &graph);
    graph.InsertLinkedFilter(&window);
    Completions done(graph);

    // As the Player pane loads a file.
    if (!graph.Active()) graph.SetActive(true);
    graph.EmptyGraph();
    HRESULT rendered = E_FAIL;
    try {
        rendered = graph.RenderMediaFile(file.string());
    } catch (const EDirectShowException& e) {
        if (e.ResultCode == VFW_E_CANNOT_LOAD_SOURCE_FILTER) GTEST_SKIP() << "no ASF source filter in this build";
        FAIL() << e.what();
    }
    EXPECT_EQ(rendered, S_OK);
    const auto position = graph.GraphManager().Query<IMediaPosition>();
    ASSERT_TRUE(position);
    ASSERT_EQ(position->put_CurrentPosition(0), S_OK);
    REFTIME duration = 0;
    position->get_Duration(&duration);
    EXPECT_NEAR(duration, kestrine::test::ProbeDurationSeconds(file), 0.1);
    ASSERT_TRUE(graph.Play());
    graph.Pause();
    // The first picture stands in the window's renderer, at the start.
    ASSERT_TRUE(window.Filter()->WaitForPresentedCount(1, 10000));
    const auto first = window.Filter()->LastPresented();
    ASSERT_TRUE(first);
    EXPECT_LT(first->mediaTime, kUnitsPerSecond / 10);
    EXPECT_NEAR(Position(graph), 0.0, 0.05);

    ASSERT_TRUE(graph.Play());
    ASSERT_TRUE(PumpUntil([&] { return !done.results.empty(); })) << "no completion arrived";
    EXPECT_EQ(done.results, (std::vector<HRESULT>{S_OK}));
    EXPECT_EQ(done.threads.front(), std::this_thread::get_id());
    EXPECT_GT(window.Filter()->PresentedCount(), 1u);

    // As the window's close leaves it: emptied, then inactive.
    graph.EmptyGraph();
    EXPECT_EQ(FilterNames(graph), (std::vector<std::string>{"VideoWindow1"}));
    graph.SetActive(false);
    graph.RemoveLinkedFilter(&window);
}

}  // namespace
}  // namespace kestrine::media::testing
