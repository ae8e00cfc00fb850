#include "GraphTestSupport.h"

#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/GraphBuilders.h"
#include "support/TestMedia.h"

#include <atomic>
#include <thread>

using namespace kestrine::platform;
using kestrine::platform::testing::FilterGraphStartLatencyForTests;
using kestrine::platform::testing::GraphTest;
using kestrine::platform::testing::kFrame;

namespace {

std::atomic<int> gRenderersAlive{0};

class CountedRenderer final : public MemoryRenderer {
public:
    CountedRenderer() : MemoryRenderer(MEDIATYPE_Video, {MEDIASUBTYPE_RGB32}) { ++gRenderersAlive; }
    ~CountedRenderer() override { --gRenderersAlive; }
};

std::size_t FilterCount(IFilterGraph* graph)
{
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.GetAddressOf());
    std::size_t n = 0;
    ComPtr<IBaseFilter> f;
    while (e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++n;
    return n;
}

}  // namespace

class GraphLifecycle : public GraphTest {};

TEST_F(GraphLifecycle, AGraphLetsGoOfItsFiltersEvenWhileRunning)
{
    gRenderersAlive = 0;
    {
        ComPtr<IFilterGraph2> local;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &local), S_OK);
        auto renderer = MakeComObject<CountedRenderer>();
        auto src = MakeComObject<TestPatternSource>(std::vector<TestPatternSource::Stream>{TestPatternSource::VideoStream(100, kFrame, 5)});
        local->AddFilter(renderer.Get(), u"r");
        local->AddFilter(src.Get(), u"s");
        ASSERT_EQ(local->Render(&src->PinAt(0)), S_OK);
        ASSERT_EQ(local.Query<IMediaControl>()->Run(), S_OK);
        renderer.Reset();
        src.Reset();
        EXPECT_EQ(gRenderersAlive, 1);  // held by the graph
        // Filters do not hold their graph: releasing it ends everything, streaming threads included.
    }
    EXPECT_EQ(gRenderersAlive, 0);
}

TEST_F(GraphLifecycle, ARendererLeavesAPlayingGraphAndTheRestPlaysOn)
{
    BuildPlayback(100, 10, /*withAudio=*/true);
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 10 * kFrame);
    ASSERT_TRUE(video->WaitForPresentedCount(11, 5000));

    // What a video window does when it rebuilds its renderer during playback.
    ASSERT_EQ(video->Stop(), S_OK);
    for (const auto& pin : ListPins(video.Get())) pin->Disconnect();
    ASSERT_EQ(graph->RemoveFilter(video.Get()), S_OK);
    ComPtr<IPin> peer;
    EXPECT_EQ(source->PinAt(0).ConnectedTo(peer.GetAddressOf()), VFW_E_NOT_CONNECTED);

    clock->Advance(100 * kFrame);
    LONG code = 0;
    ASSERT_EQ(events->WaitForCompletion(5000, &code), S_OK);  // the audio renderer alone completes the graph
    EXPECT_EQ(code, EC_COMPLETE);
}

TEST_F(GraphLifecycle, EmptyingAGraphLeavesOnlyWhatIsKept)
{
    BuildPlayback(20, 5, /*withAudio=*/true);
    control->Pause();
    // Stop, disconnect every pin, remove everything but the video window's renderer.
    ASSERT_EQ(control->Stop(), S_OK);
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.GetAddressOf());
    std::vector<ComPtr<IBaseFilter>> all;
    ComPtr<IBaseFilter> f;
    while (e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) all.push_back(f);
    for (const auto& filter : all)
        for (const auto& pin : ListPins(filter.Get())) EXPECT_TRUE(SUCCEEDED(pin->Disconnect()));
    for (const auto& filter : all) {
        if (!IsSameObject(filter.Get(), video->IdentityUnknown())) {
            EXPECT_EQ(graph->RemoveFilter(filter.Get()), S_OK);
        }
    }
    EXPECT_EQ(FilterCount(graph.Get()), 1u);
    EXPECT_FALSE(video->PinAt(0).IsConnected());
    REFTIME d = 0;
    EXPECT_EQ(position->get_Duration(&d), E_NOTIMPL);  // nothing left to seek
    EXPECT_EQ(control->Pause(), S_OK);                 // an unconnected renderer is ready at once
}

TEST_F(GraphLifecycle, RenderFileUsesTheVideoWindowsRendererAlreadyInTheGraph)
{
    auto window = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
    ASSERT_EQ(graph->AddFilter(window.Get(), u"VideoWindow1"), S_OK);
    const auto file = kestrine::test::MakeMedia({});
    ASSERT_EQ(graph->RenderFile(ToWide(file.string()).c_str(), nullptr), S_OK);
    EXPECT_TRUE(window->PinAt(0).IsConnected());
    EXPECT_EQ(FilterCount(graph.Get()), 5u);  // window renderer, source, two decoders, one audio renderer
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(window->LastPresented()->data.size(), 320u * 240u * 4u);

    // Seeking while playing decoded data goes on from the new place.
    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_EQ(position->put_CurrentPosition(2.0), S_OK);
    EXPECT_NEAR(static_cast<double>(window->LastPresented()->mediaTime) / kUnitsPerSecond, 2.0, 0.041);
    clock->Advance(FilterGraphStartLatencyForTests() + 10 * kFrame);
    EXPECT_NEAR(Position(), 3.0, 1e-6);
}

TEST_F(GraphLifecycle, CancellingDefaultHandlingPassesEachRenderersCompletion)
{
    BuildPlayback(10, 5, /*withAudio=*/true);
    ASSERT_EQ(events->CancelDefaultHandling(EC_COMPLETE), S_OK);
    ASSERT_EQ(control->Run(), S_OK);
    clock->Advance(FilterGraphStartLatencyForTests() + 20 * kFrame);
    int completions = 0;
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    while (completions < 2 && events->GetEvent(&code, &p1, &p2, 5000) == S_OK) {
        if (code != EC_COMPLETE) continue;
        ++completions;
        EXPECT_NE(p2, 0);  // each names its renderer
    }
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(events->RestoreDefaultHandling(EC_COMPLETE), S_OK);
}

TEST_F(GraphLifecycle, TheCaptureBuilderRendersASourceInItsGraph)
{
    ComPtr<ICaptureGraphBuilder2> capture;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, &capture), S_OK);
    auto src = MakeComObject<TestPatternSource>(std::vector<TestPatternSource::Stream>{TestPatternSource::VideoStream(10, kFrame, 1)});
    EXPECT_EQ(capture->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(src.Get()), nullptr, nullptr), E_UNEXPECTED);
    ASSERT_EQ(capture->SetFiltergraph(graph.Query<IGraphBuilder>().Get()), S_OK);
    graph->AddFilter(src.Get(), u"source");
    EXPECT_EQ(capture->RenderStream(nullptr, nullptr, static_cast<IBaseFilter*>(src.Get()), nullptr, nullptr), S_OK);
    EXPECT_TRUE(src->PinAt(0).IsConnected());
    ComPtr<IMediaPosition> found;
    EXPECT_EQ(capture->FindInterface(nullptr, nullptr, src.Get(), IID_PPV_ARGS(found.GetAddressOf())), S_OK);
    ComPtr<IDvdGraphBuilder> dvd;
    ASSERT_EQ(CoCreateInstance(CLSID_DvdGraphBuilder, &dvd), S_OK);
    EXPECT_TRUE(FAILED(dvd->RenderDvdVideoVolume(nullptr, 0, nullptr)));
}

TEST_F(GraphLifecycle, GraphsCanBeMadeAndUsedFromAnotherThread)
{
    // The runtime is initialised per thread; a thread that does so gets working graphs.
    std::thread worker([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        {
            ComPtr<IMediaControl> c;
            ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &c), S_OK);
            OAFilterState s = -1;
            EXPECT_EQ(c->GetState(0, &s), S_OK);
            EXPECT_EQ(s, State_Stopped);
            EXPECT_EQ(c->Run(), S_OK);  // an empty graph runs and stops
            EXPECT_EQ(c->Stop(), S_OK);
        }
        CoUninitialize();
    });
    worker.join();
}
