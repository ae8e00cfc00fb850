// What the panes call on a filter graph component: play, pause, stop, render, empty, volume.
#include "FilterGraphTestSupport.h"
#include "media/MediaGraphUtil.h"
#include "platform/com/ErrorText.h"

namespace kestrine::media::testing {
namespace {

using FilterGraphOperations = FilterGraphTest;

TEST_F(FilterGraphOperations, AnInactiveGraphDoesNothingAndSaysSo)
{
    Journal journal;
    TFilterGraph graph;
    RecordingListener listener("L", journal);
    graph.AddGraphListener(&listener);
    EXPECT_FALSE(graph.Play());
    EXPECT_FALSE(graph.Pause());
    EXPECT_FALSE(graph.Stop());
    EXPECT_EQ(graph.RenderMediaFile(u"/no/such/file.wmv"), S_FALSE);
    EXPECT_EQ(graph.GetAudioVolume(), 0);
    graph.SetAudioVolume(5000);
    graph.EmptyGraph();
    graph.DisconnectAllPins();
    EXPECT_TRUE(journal.empty());
    graph.RemoveGraphListener(&listener);
}

TEST_F(FilterGraphOperations, ControlOperationsTellListenersFirstAndReportTheGraphsResult)
{
    ScriptedBuilders builders;
    builders.prepare = [](ScriptedBuilder& b) { b.offersControl = true; };
    Journal journal;
    TFilterGraph graph;
    RecordingListener listener("L", journal);
    graph.AddGraphListener(&listener);
    graph.SetMode(TGraphMode::gmCapture);
    graph.SetActive(true);
    ScriptedBuilder& control = builders.Last();
    journal.clear();

    EXPECT_TRUE(graph.Play());
    EXPECT_TRUE(graph.Pause());
    EXPECT_TRUE(graph.Stop());
    EXPECT_EQ(journal, (Journal{"L.Control(0,0)", "L.Control(1,0)", "L.Control(2,0)"}));

    // Success codes other than S_OK are no error, but Pause and Stop did not finish.
    control.pauseResult = S_FALSE;
    control.stopResult = S_FALSE;
    control.runResult = S_FALSE;
    EXPECT_FALSE(graph.Pause());
    EXPECT_FALSE(graph.Stop());
    EXPECT_TRUE(graph.Play());

    // A failure raises, after the listeners were told.
    journal.clear();
    control.runResult = VFW_E_NOT_CONNECTED;
    try {
        graph.Play();
        FAIL() << "Play should have raised";
    } catch (const EDirectShowException& e) {
        EXPECT_EQ(e.ResultCode, VFW_E_NOT_CONNECTED);
        EXPECT_EQ(std::string(e.what()), ErrorText(VFW_E_NOT_CONNECTED) + " ($80040209).");
    }
    EXPECT_EQ(journal, (Journal{"L.Control(0,0)"}));
    control.pauseResult = E_FAIL;
    EXPECT_THROW(graph.Pause(), EDirectShowException);
    control.stopResult = E_UNEXPECTED;
    EXPECT_THROW(graph.Stop(), EDirectShowException);
    graph.RemoveGraphListener(&listener);
}

TEST_F(FilterGraphOperations, RenderMediaFileTellsListenersAroundASuccessAndRaisesOnFailure)
{
    PatternFiles files;
    Journal journal;
    TFilterGraph graph;
    RecordingListener listener("L", journal);
    graph.AddGraphListener(&listener);
    graph.SetActive(true);
    journal.clear();

    const std::u16string missing = files.Path("missing.wmv");
    try {
        graph.RenderMediaFile(missing);
        FAIL() << "rendering a missing file should raise";
    } catch (const EDirectShowException& e) {
        EXPECT_EQ(e.ResultCode, HR_FILE_NOT_FOUND);
        EXPECT_EQ(std::string(e.what()), ErrorText(HR_FILE_NOT_FOUND) + " ($80070002).");
    }
    EXPECT_EQ(journal, (Journal{"L.Control(3,0)"}));

    journal.clear();
    EXPECT_EQ(graph.RenderMediaFile(files.Path("video.kpat")), S_OK);
    EXPECT_EQ(journal, (Journal{"L.Control(3,0)", "L.Control(4,0)"}));

    // A partial render is a success and comes back as it is.
    graph.EmptyGraph();
    journal.clear();
    EXPECT_EQ(graph.RenderMediaFile(files.Path("mixed.kpat")), VFW_S_PARTIAL_RENDER);
    EXPECT_EQ(journal, (Journal{"L.Control(3,0)", "L.Control(4,0)"}));

    // The UTF-8 form names the same file.
    graph.EmptyGraph();
    EXPECT_EQ(graph.RenderMediaFile(ToUtf8(files.Path("av.kpat"))), S_OK);
    graph.RemoveGraphListener(&listener);
}

TEST_F(FilterGraphOperations, EmptyGraphLeavesOnlyTheLinkedRenderersDisconnected)
{
    PatternFiles files;
    Journal journal;
    TFilterGraph graph;
    RecordingProvider window("VideoWindow1", journal, &graph);
    RecordingListener listener("L", journal);
    graph.InsertLinkedFilter(&window);
    graph.AddGraphListener(&listener);
    graph.SetActive(true);

    ASSERT_EQ(graph.RenderMediaFile(files.Path("av.kpat")), S_OK);
    // The video went to the window's renderer, the audio to a renderer the graph made.
    ASSERT_TRUE(AnyPinConnected(window.Filter().Get()));
    ASSERT_EQ(FilterNames(graph).size(), 3u);
    EXPECT_TRUE(graph.Pause());

    journal.clear();
    graph.EmptyGraph();
    // Stopped as Stop does (listeners told), then the linked filter asked for so it is kept.
    EXPECT_EQ(journal, (Journal{"L.Control(2,0)", "VideoWindow1.GetFilter"}));
    EXPECT_EQ(FilterNames(graph), (std::vector<std::string>{"VideoWindow1"}));
    EXPECT_FALSE(AnyPinConnected(window.Filter().Get()));

    // The emptied graph takes the next file, into the same renderer.
    ASSERT_EQ(graph.RenderMediaFile(files.Path("video.kpat")), S_OK);
    EXPECT_TRUE(AnyPinConnected(window.Filter().Get()));
    EXPECT_EQ(FilterNames(graph).size(), 2u);
    graph.EmptyGraph();
    graph.EmptyGraph();  // on an empty graph: no error
    EXPECT_EQ(FilterNames(graph), (std::vector<std::string>{"VideoWindow1"}));
    graph.RemoveLinkedFilter(&window);
    graph.RemoveGraphListener(&listener);
}

TEST_F(FilterGraphOperations, DisconnectAllPinsKeepsEveryFilter)
{
    PatternFiles files;
    TFilterGraph graph;
    graph.SetActive(true);
    ASSERT_EQ(graph.RenderMediaFile(files.Path("av.kpat")), S_OK);
    const auto before = FilterNames(graph);
    graph.DisconnectAllPins();
    EXPECT_EQ(FilterNames(graph), before);
    const TFilterList filters(graph.GraphManager().Get());
    ASSERT_EQ(filters.Count(), before.size());
    for (std::size_t i = 0; i < filters.Count(); ++i) EXPECT_FALSE(AnyPinConnected(filters.Items(i).Get())) << before[i];
}

TEST_F(FilterGraphOperations, VolumeMapsThePanesScaleOntoTheGraphsDecibels)
{
    PatternFiles files;
    TFilterGraph graph;
    graph.SetActive(true);
    ASSERT_EQ(graph.RenderMediaFile(files.Path("av.kpat")), S_OK);
    ComPtr<MemoryRenderer> audio;
    const TFilterList filters(graph.GraphManager().Get());
    for (std::size_t i = 0; i < filters.Count(); ++i) {
        const auto renderer = filters.Items(i).Query<IBasicAudio>();
        if (renderer) audio = ComPtr<MemoryRenderer>(static_cast<MemoryRenderer*>(filters.Items(i).Get()));
    }
    ASSERT_TRUE(audio);

    const struct {
        int pane;
        LONG platform;
    } cases[] = {{10000, 0}, {0, -10000}, {2500, -7500}, {9999, -1}};
    for (const auto& c : cases) {
        graph.SetAudioVolume(c.pane);
        EXPECT_EQ(audio->Volume(), c.platform) << c.pane;
        EXPECT_EQ(graph.GetAudioVolume(), c.pane);
    }
}

}  // namespace
}  // namespace kestrine::media::testing
