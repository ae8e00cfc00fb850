// Activation and deactivation of the filter graph component in each mode, and what the linked
// providers and listeners are told, in which order.
#include "FilterGraphTestSupport.h"
#include "media/GraphRegistration.h"
#include "media/MediaGraphUtil.h"
#include "platform/DialogAnswerer.h"
#include "platform/com/RunningObjectTable.h"
#include "support/TestPaths.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kestrine::media::testing {
namespace {

using FilterGraphLifecycle = FilterGraphTest;

// Whether the running object table holds the graph under the name it should carry.
bool Registered(IFilterGraph2* manager)
{
    ComPtr<IRunningObjectTable> table;
    EXPECT_EQ(GetRunningObjectTable(0, table.GetAddressOf()), S_OK);
    ComPtr<IMoniker> moniker;
    const auto name = ToWide(GraphInspectionName(manager, static_cast<unsigned>(::getpid())));
    EXPECT_EQ(CreateItemMoniker(u"!", name.c_str(), moniker.GetAddressOf()), S_OK);
    ComPtr<IUnknown> object;
    if (table->GetObject(moniker.Get(), object.GetAddressOf()) != S_OK) return false;
    return IsSameObject(object.Get(), manager);
}


TEST_F(FilterGraphLifecycle, ActivationAddsLinkedFiltersInOrderThenFiresOnActivateThenTellsListeners)
{
    Journal journal;
    TFilterGraph graph;
    RecordingProvider first("VideoWindow1", journal, &graph);
    RecordingProvider second("VideoWindow2", journal, &graph);
    RecordingListener listenerA("A", journal);
    RecordingListener listenerB("B", journal);
    graph.InsertLinkedFilter(&first);
    graph.InsertLinkedFilter(&second);
    graph.AddGraphListener(&listenerA);
    graph.AddGraphListener(&listenerB);
    graph.OnActivate = [&](QObject* sender) {
        EXPECT_EQ(sender, &graph);
        journal.push_back("OnActivate");
    };
    EXPECT_TRUE(journal.empty());  // linking to an inactive graph only registers

    graph.SetActive(true);
    ASSERT_TRUE(graph.Active());
    ASSERT_TRUE(graph.GraphManager());
    const Journal activation{
        "VideoWindow1.FilterNotify(0,0) out", "VideoWindow1.GetFilterName", "VideoWindow1.GetFilter", "VideoWindow1.FilterNotify(1,0) in",
        "VideoWindow2.FilterNotify(0,0) out", "VideoWindow2.GetFilterName", "VideoWindow2.GetFilter", "VideoWindow2.FilterNotify(1,0) in",
        "OnActivate",                         "A.Control(7,1)",             "B.Control(7,1)",
    };
    EXPECT_EQ(journal, activation);

    journal.clear();
    graph.SetActive(true);  // the same value does nothing
    EXPECT_TRUE(journal.empty());

    const auto renderer = first.Filter();
    graph.SetActive(false);
    const Journal deactivation{
        "A.Control(7,0)",
        "B.Control(7,0)",
        "VideoWindow1.FilterNotify(2,0) in",
        "VideoWindow1.GetFilter",
        "VideoWindow1.FilterNotify(3,0) out",
        "VideoWindow2.FilterNotify(2,0) in",
        "VideoWindow2.GetFilter",
        "VideoWindow2.FilterNotify(3,0) out",
    };
    EXPECT_EQ(journal, deactivation);
    EXPECT_FALSE(graph.Active());
    EXPECT_FALSE(graph.GraphManager());
    // Both lists outlive the activation.
    EXPECT_EQ(graph.LinkedFilterCount(), 2u);
    EXPECT_EQ(graph.GraphListenerCount(), 2u);
    // The renderer really left the graph: nothing but the provider holds it now.
    ASSERT_TRUE(renderer);
    FILTER_INFO info;
    ASSERT_EQ(renderer->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    // Components unlink before they go.
    graph.RemoveLinkedFilter(&first);
    graph.RemoveLinkedFilter(&second);
    graph.RemoveGraphListener(&listenerA);
    graph.RemoveGraphListener(&listenerB);
}

TEST_F(FilterGraphLifecycle, InsertAndRemoveWhileActiveAddAndTakeOutAtOnce)
{
    Journal journal;
    TFilterGraph graph;
    RecordingListener listener("L", journal);
    graph.AddGraphListener(&listener);
    graph.SetActive(true);
    journal.clear();

    RecordingProvider provider("VideoWindow1", journal, &graph);
    graph.InsertLinkedFilter(&provider);
    EXPECT_EQ(journal, (Journal{"VideoWindow1.FilterNotify(0,0) out", "VideoWindow1.GetFilterName", "VideoWindow1.GetFilter",
                                "VideoWindow1.FilterNotify(1,0) in"}));
    EXPECT_TRUE(GraphHasFilterNamed(graph, "VideoWindow1"));

    journal.clear();
    graph.RemoveLinkedFilter(&provider);
    EXPECT_EQ(journal, (Journal{"VideoWindow1.FilterNotify(2,0) in", "VideoWindow1.GetFilter", "VideoWindow1.FilterNotify(3,0) out"}));
    EXPECT_FALSE(GraphHasFilterNamed(graph, "VideoWindow1"));
    EXPECT_EQ(graph.LinkedFilterCount(), 0u);

    // Removing again, or a provider never linked, tells nobody anything.
    journal.clear();
    graph.RemoveLinkedFilter(&provider);
    RecordingProvider stranger("Other", journal, &graph);
    graph.InsertLinkedFilter(&provider);
    journal.clear();
    graph.RemoveLinkedFilter(&stranger);
    EXPECT_TRUE(journal.empty());
    EXPECT_EQ(graph.LinkedFilterCount(), 1u);

    // The re-insert after the list was freed made a new one, and the rebuild a video window does
    // (remove, then insert) leaves its filter in the graph once.
    graph.RemoveLinkedFilter(&provider);
    graph.InsertLinkedFilter(&provider);
    EXPECT_TRUE(GraphHasFilterNamed(graph, "VideoWindow1"));
    graph.RemoveGraphListener(&listener);
    EXPECT_EQ(graph.GraphListenerCount(), 0u);
    journal.clear();
    graph.SetActive(false);
    EXPECT_EQ(journal.front(), "VideoWindow1.FilterNotify(2,0) in");  // no listener left to tell
    graph.RemoveLinkedFilter(&provider);
}

TEST_F(FilterGraphLifecycle, ModeChangeOnAnActiveGraphGoesThroughAFullDeactivationAndActivation)
{
    ScriptedBuilders builders;
    Journal journal;
    TFilterGraph graph;
    RecordingProvider provider("VideoWindow1", journal, &graph);
    RecordingListener listener("L", journal);
    graph.InsertLinkedFilter(&provider);
    graph.AddGraphListener(&listener);
    int activations = 0;
    graph.OnActivate = [&](QObject*) {
        ++activations;
        journal.push_back("OnActivate");
    };

    // While inactive a mode is only stored.
    graph.SetMode(TGraphMode::gmCapture);
    EXPECT_EQ(graph.Mode(), TGraphMode::gmCapture);
    EXPECT_FALSE(graph.Active());
    EXPECT_TRUE(journal.empty());

    graph.SetActive(true);
    ASSERT_TRUE(graph.Active());
    ScriptedBuilder* capture = &builders.Last();
    // The capture builder was given the graph manager the component holds.
    ASSERT_TRUE(capture->graph);
    EXPECT_TRUE(IsSameObject(capture->graph.Get(), graph.GraphManager().Get()));

    journal.clear();
    graph.SetMode(TGraphMode::gmDVD);
    EXPECT_EQ(graph.Mode(), TGraphMode::gmDVD);
    ASSERT_TRUE(graph.Active());
    EXPECT_EQ(activations, 2);
    const Journal expected{
        "L.Control(7,0)",
        "VideoWindow1.FilterNotify(2,0) in",
        "VideoWindow1.GetFilter",
        "VideoWindow1.FilterNotify(3,0) out",
        "VideoWindow1.FilterNotify(0,0) out",
        "VideoWindow1.GetFilterName",
        "VideoWindow1.GetFilter",
        "VideoWindow1.FilterNotify(1,0) in",
        "OnActivate",
        "L.Control(7,1)",
    };
    EXPECT_EQ(journal, expected);
    // In DVD mode the graph manager is the one the DVD builder hands out.
    ScriptedBuilder* dvd = &builders.Last();
    EXPECT_NE(dvd, capture);
    EXPECT_TRUE(IsSameObject(dvd->graph.Get(), graph.GraphManager().Get()));

    journal.clear();
    graph.SetMode(TGraphMode::gmDVD);  // the same mode does nothing
    EXPECT_TRUE(journal.empty());
    graph.SetActive(false);
    graph.SetMode(TGraphMode::gmNormal);
    EXPECT_FALSE(graph.Active());
    graph.RemoveLinkedFilter(&provider);
    graph.RemoveGraphListener(&listener);
}

TEST_F(FilterGraphLifecycle, QueryInterfaceAnswersForTheComponentThenTheBuildersThenTheGraph)
{
    ScriptedBuilders builders;
    TFilterGraph graph;
    IUnknown* self = nullptr;
    ASSERT_EQ(graph.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&self)), S_OK);
    EXPECT_EQ(self, static_cast<IUnknown*>(&graph));
    EXPECT_FALSE(graph.Query<IMediaControl>());  // inactive: nothing of a graph
    void* none = &graph;
    EXPECT_EQ(graph.QueryInterface(IID_IMediaControl, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    graph.SetActive(true);
    EXPECT_TRUE(IsSameObject(graph.Query<IMediaEventEx>().Get(), graph.GraphManager().Get()));
    EXPECT_FALSE(graph.Query<ICaptureGraphBuilder2>());
    graph.SetActive(false);

    // Capture: the builder's answer comes first, the graph's when the builder has none.
    graph.SetMode(TGraphMode::gmCapture);
    graph.SetActive(true);
    ScriptedBuilder& capture = builders.Last();
    EXPECT_TRUE(IsSameObject(graph.Query<ICaptureGraphBuilder2>().Get(), capture.IdentityUnknown()));
    EXPECT_TRUE(IsSameObject(graph.Query<IMediaEventEx>().Get(), capture.IdentityUnknown()));
    EXPECT_TRUE(IsSameObject(graph.Query<IMediaControl>().Get(), graph.GraphManager().Get()));
    EXPECT_FALSE(graph.Query<IDvdInfo2>());
    graph.SetActive(false);

    // DVD: the builder, then its navigator interfaces, then the graph.
    builders.prepare = [](ScriptedBuilder& b) { b.offersDvdInfo = true; };
    graph.SetMode(TGraphMode::gmDVD);
    graph.SetActive(true);
    ScriptedBuilder& dvd = builders.Last();
    EXPECT_TRUE(IsSameObject(graph.Query<IDvdGraphBuilder>().Get(), dvd.IdentityUnknown()));
    EXPECT_TRUE(IsSameObject(graph.Query<IDvdInfo2>().Get(), dvd.IdentityUnknown()));
    EXPECT_TRUE(IsSameObject(graph.Query<IMediaPosition>().Get(), graph.GraphManager().Get()));
    graph.SetActive(false);
}

TEST_F(FilterGraphLifecycle, EveryModeActivatesOnThePlatformsOwnBuilders)
{
    for (const TGraphMode mode : {TGraphMode::gmNormal, TGraphMode::gmCapture, TGraphMode::gmDVD}) {
        TFilterGraph graph;
        graph.SetMode(mode);
        graph.SetActive(true);
        ASSERT_TRUE(graph.Active()) << static_cast<int>(mode);
        EXPECT_TRUE(graph.Query<IMediaEventEx>());
        EXPECT_EQ(graph.GetAudioVolume(), 0);  // nothing audible in an empty graph
        // There is no DVD on this platform: DVD mode answers no navigator interface.
        EXPECT_FALSE(graph.Query<IDvdInfo2>());
        graph.SetActive(false);
    }
}

TEST_F(FilterGraphLifecycle, AnOwnedGraphIsFoundByNameAndGoesWithItsOwner)
{
    auto owner = std::make_unique<QObject>();
    auto* graph = new TFilterGraph(owner.get());
    graph->setObjectName("FilterGraph1");
    EXPECT_EQ(owner->findChild<TFilterGraph*>("FilterGraph1"), graph);
    graph->SetActive(true);
    const ComPtr<IFilterGraph2> manager = graph->GraphManager();
    const HWND window = graph->EventWindow();
    EXPECT_TRUE(IsWindow(window));
    owner.reset();
    EXPECT_FALSE(IsWindow(window));
    // The graph manager was let go: only this test's reference is left.
    EXPECT_EQ(manager->AddRef(), 2u);
    manager->Release();
}

TEST_F(FilterGraphLifecycle, LoadedActivatesOnlyWithAutoCreate)
{
    TFilterGraph plain;
    plain.Loaded();
    EXPECT_FALSE(plain.Active());
    TFilterGraph automatic;
    automatic.SetAutoCreate(true);
    automatic.Loaded();
    EXPECT_TRUE(automatic.Active());
}

TEST_F(FilterGraphLifecycle, DestructionDeactivatesAndTellsProvidersAndListeners)
{
    Journal journal;
    RecordingListener listener("L", journal);
    auto graph = std::make_unique<TFilterGraph>();
    RecordingProvider provider("VideoWindow1", journal);
    graph->InsertLinkedFilter(&provider);
    graph->AddGraphListener(&listener);
    graph->SetActive(true);
    const ComPtr<IFilterGraph2> manager = graph->GraphManager();
    journal.clear();
    graph.reset();
    EXPECT_EQ(journal, (Journal{"L.Control(7,0)", "VideoWindow1.FilterNotify(2,0)", "VideoWindow1.GetFilter", "VideoWindow1.FilterNotify(3,0)"}));
    TFilterList left(manager.Get());
    EXPECT_EQ(left.Count(), 0u);
}

TEST_F(FilterGraphLifecycle, AProviderFailingDuringDestructionIsReportedAndTheGraphStillLetGo)
{
    kestrine::platform::InstalledDialogAnswerer dialogs;
    Journal journal;
    auto graph = std::make_unique<TFilterGraph>();
    graph->SetGraphEdit(true);
    RecordingProvider provider("VideoWindow1", journal);
    graph->InsertLinkedFilter(&provider);
    graph->SetActive(true);
    const ComPtr<IFilterGraph2> manager = graph->GraphManager();
    provider.throwOn = kFilterBeforeRemove;
    graph.reset();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.toStdString(), "VideoWindow1 refused operation 2");
    EXPECT_FALSE(Registered(manager.Get()));  // no registration outlives the component
}

TEST_F(FilterGraphLifecycle, ActivationWithoutTheRuntimeStaysInactive)
{
    CoUninitialize();  // undo the fixture's, so this thread has no runtime
    if (IsComInitializedOnThisThread()) {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        GTEST_SKIP() << "the runtime was initialised on this thread outside the test";
    }
    Journal journal;
    {
        TFilterGraph graph;
        RecordingListener listener("L", journal);
        graph.AddGraphListener(&listener);
        graph.SetActive(true);
        EXPECT_FALSE(graph.Active());
        EXPECT_FALSE(graph.GraphManager());
        EXPECT_FALSE(graph.Play());
        EXPECT_EQ(graph.RenderMediaFile(u"/tmp/x.wmv"), S_FALSE);
        graph.RemoveGraphListener(&listener);
    }
    EXPECT_TRUE(journal.empty());
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
}

TEST_F(FilterGraphLifecycle, GraphEditRegistersAtEachActivationAndDeactivationRevokesButKeepsTheFlag)
{
    char expected[64];
    std::snprintf(expected, sizeof expected, "FilterGraph %0*lX pid %X", static_cast<int>(2 * sizeof(void*)), 0xABCDEFUL, 0x1F2Bu);
    EXPECT_EQ(GraphInspectionName(reinterpret_cast<void*>(0xABCDEF), 0x1F2B), expected);

    TFilterGraph graph;
    graph.SetGraphEdit(true);  // inactive: only stored
    EXPECT_TRUE(graph.GraphEdit());
    graph.SetActive(true);
    ComPtr<IFilterGraph2> first = graph.GraphManager();
    EXPECT_TRUE(Registered(first.Get()));

    graph.SetActive(false);
    EXPECT_TRUE(graph.GraphEdit());
    EXPECT_FALSE(Registered(first.Get()));

    graph.SetActive(true);
    ComPtr<IFilterGraph2> second = graph.GraphManager();
    EXPECT_FALSE(IsSameObject(first.Get(), second.Get()));
    EXPECT_TRUE(Registered(second.Get()));

    graph.SetGraphEdit(false);  // revokes at once
    EXPECT_FALSE(Registered(second.Get()));
    graph.SetGraphEdit(true);  // registers at once while active, only once
    graph.SetGraphEdit(true);
    EXPECT_TRUE(Registered(second.Get()));
    graph.SetGraphEdit(false);
    EXPECT_FALSE(Registered(second.Get()));  // a second registration would still be found here
    graph.SetActive(false);
}

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(FilterGraphLifecycle, LogFileStartsEmptyAtEachActivationAndAnUncreatablePathIsRefused)
{
    const auto dir = kestrine::test::FreshTestDir();
    const auto log = dir / "graph.log";
    const auto other = dir / "other.log";
    std::ofstream(log) << "left over from before\n";

    TFilterGraph graph;
    graph.SetLogFile(log.string());  // inactive: stored, file untouched
    EXPECT_EQ(graph.LogFile(), log.string());
    EXPECT_EQ(ReadAll(log), "left over from before\n");

    graph.SetActive(true);
    EXPECT_EQ(ReadAll(log), "");  // created anew
    EXPECT_THROW(graph.RenderMediaFile(u"/no/such/file.wmv"), EDirectShowException);
    EXPECT_NE(ReadAll(log), "");  // the graph writes its operations there

    // Set while active: the old log is closed, the new one created empty at once.
    std::ofstream(other) << "old\n";
    graph.SetLogFile(other.string());
    EXPECT_EQ(ReadAll(other), "");
    const std::string firstLog = ReadAll(log);
    EXPECT_THROW(graph.RenderMediaFile(u"/no/such/file.wmv"), EDirectShowException);
    EXPECT_EQ(ReadAll(log), firstLog);  // nothing more goes to the old one
    EXPECT_NE(ReadAll(other), "");

    // A path that cannot be created is refused: the property keeps the old path, and no log is written.
    const std::string bad = (dir / "no-such-folder" / "graph.log").string();
    graph.SetLogFile(bad);
    EXPECT_EQ(graph.LogFile(), other.string());
    const std::string otherBefore = ReadAll(other);
    EXPECT_THROW(graph.RenderMediaFile(u"/no/such/file.wmv"), EDirectShowException);
    EXPECT_EQ(ReadAll(other), otherBefore);

    // Each activation empties the file again.
    graph.SetActive(false);
    EXPECT_EQ(graph.LogFile(), other.string());
    graph.SetActive(true);
    EXPECT_EQ(ReadAll(other), "");

    // Emptied while active: no log any more.
    graph.SetLogFile("");
    EXPECT_EQ(graph.LogFile(), "");
    EXPECT_THROW(graph.RenderMediaFile(u"/no/such/file.wmv"), EDirectShowException);
    EXPECT_EQ(ReadAll(other), "");
    graph.SetActive(false);

    // While inactive even a bad path is stored; the next activation finds it refused and keeps it.
    graph.SetLogFile(bad);
    EXPECT_EQ(graph.LogFile(), bad);
    graph.SetActive(true);
    EXPECT_TRUE(graph.Active());
    EXPECT_EQ(graph.LogFile(), bad);
}

}  // namespace
}  // namespace kestrine::media::testing
