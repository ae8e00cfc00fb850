// The mixing renderer's options: the stream count, the rendering preferences, the aspect ratio, the
// renderless allocator and what an option change does to a renderer in an active graph.
#include "VideoWindowTestSupport.h"

namespace kestrine::media::testing {
namespace {

using VideoWindowOptions = VideoWindowTest;

ComPtr<IVMRFilterConfig9> Config(TVideoWindow& video)
{
    ComPtr<IVMRFilterConfig9> config;
    video.QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(config.GetAddressOf()));
    return config;
}

TEST(VMROptionsValues, StartAsTheEditorExpectsAndClampTheStreamCount)
{
    QWidget owner;
    TVideoWindow video(&owner);
    TVMROptions& options = video.VMROptions();
    EXPECT_EQ(options.Streams(), 4u);
    EXPECT_EQ(options.Preferences(), PreferenceBit(vpForceMixer));
    EXPECT_EQ(options.Mode(), TVMRVideoMode::vmrWindowed);
    EXPECT_TRUE(options.KeepAspectRatio());
    EXPECT_EQ(video.Mode(), TVideoMode::vmNormal);
    EXPECT_FALSE(video.FullScreen());
    EXPECT_FALSE(video.FullScreenTopMost());
    EXPECT_FALSE(video.OwnerlessFullScreen());
    EXPECT_EQ(video.size(), QSize(160, 120));
    EXPECT_TRUE(video.TabStop());

    for (const auto& [given, stored] : std::vector<std::pair<DWORD, DWORD>>{{0, 1}, {17, 1}, {16, 16}, {1, 1}, {9, 9}, {0xFFFFFFFFu, 1}}) {
        options.SetStreams(given);
        EXPECT_EQ(options.Streams(), stored) << "given " << given;
    }
    options.SetPreferences(0x3F);
    EXPECT_EQ(options.Preferences(), 0x3F);
}

TEST(VMROptionsValues, SavedStylesDescribeAVisibleChildWindow)
{
    QWidget owner;
    TVideoWindow video(&owner);
    EXPECT_EQ(video.SavedStyle(), 0) << "read only when loading has finished";
    owner.show();
    video.Loaded();
    const LONG style = video.SavedStyle();
    EXPECT_EQ(style & WS_CHILD, WS_CHILD);
    EXPECT_EQ(style & WS_CLIPSIBLINGS, WS_CLIPSIBLINGS);
    EXPECT_EQ(style & WS_VISIBLE, WS_VISIBLE);
    EXPECT_EQ(style & WS_CAPTION, 0) << "a control has no caption of its own";
    EXPECT_EQ(video.SavedExStyle(), 0);
}

TEST_F(VideoWindowOptions, TheDefaultForceMixerSetsTheStreamCountAndReadsItBack)
{
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    const auto config = Config(*video);
    ASSERT_TRUE(config);
    DWORD streams = 0;
    EXPECT_EQ(config->GetNumberOfStreams(&streams), S_OK) << "the count was set";
    EXPECT_EQ(streams, 4u);
    EXPECT_EQ(video->VMROptions().Streams(), 4u);
}

TEST_F(VideoWindowOptions, FourStreamsWithoutForceMixerAreNeverSetButAnotherCountIs)
{
    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetPreferences(0);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    DWORD streams = 0;
    EXPECT_EQ(Config(*video)->GetNumberOfStreams(&streams), VFW_E_WRONG_STATE) << "never set";

    video->VMROptions().SetStreams(7);  // rebuilds at once
    EXPECT_EQ(Config(*video)->GetNumberOfStreams(&streams), S_OK);
    EXPECT_EQ(streams, 7u);
    EXPECT_EQ(video->VMROptions().Streams(), 7u);
}

TEST_F(VideoWindowOptions, PreferencesGoToTheRendererWithoutForceMixerAndComeBackWithIt)
{
    video->SetMode(TVideoMode::vmVMR);
    const TVMRPreferences asked = PreferenceBit(vpForceMixer) | PreferenceBit(vpForceOffscreen) | PreferenceBit(vpRestrictToInitialMonitor);
    video->VMROptions().SetPreferences(asked);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    DWORD given = 0;
    ASSERT_EQ(Config(*video)->GetRenderingPrefs(&given), S_OK);
    EXPECT_EQ(given, 0x11u) << "the mixer bit is ours alone";
    EXPECT_EQ(video->VMROptions().Preferences(), asked);

    video->VMROptions().SetPreferences(PreferenceBit(vpForceOverlays));
    ASSERT_EQ(Config(*video)->GetRenderingPrefs(&given), S_OK);
    EXPECT_EQ(given, 0x02u);
    EXPECT_EQ(video->VMROptions().Preferences(), PreferenceBit(vpForceOverlays)) << "no mixer bit added when it was not there";
}

TEST_F(VideoWindowOptions, KeepAspectRatioWaitsForTheRendererAndThenSwitchesIt)
{
    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetKeepAspectRatio(false);
    video->VMROptions().SetKeepAspectRatio(true);  // no renderer yet: stored only
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    EXPECT_TRUE(Renderer().Letterboxed()) << "applied at configuration";
    video->VMROptions().SetKeepAspectRatio(false);
    EXPECT_FALSE(Renderer().Letterboxed());
    const auto same = video->RendererFilter();
    video->VMROptions().SetKeepAspectRatio(true);
    EXPECT_EQ(video->RendererFilter().Get(), same.Get()) << "the aspect ratio needs no rebuild";
    EXPECT_TRUE(Renderer().Letterboxed());
}

TEST_F(VideoWindowOptions, OptionChangesOnAnActiveGraphRebuildTheMixingRendererOnly)
{
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    const auto classic = video->RendererFilter();
    video->VMROptions().SetStreams(3);
    video->VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
    EXPECT_EQ(video->RendererFilter().Get(), classic.Get()) << "the classic renderer has none of these options";

    video->SetMode(TVideoMode::vmVMR);
    const auto windowless = video->RendererFilter();
    EXPECT_EQ(Renderer().RenderingMode(), platform::VMR9Mode_Windowless);
    EXPECT_TRUE(video->WindowlessControl());
    EXPECT_FALSE(video->RendererWindow());

    video->VMROptions().SetMode(TVMRVideoMode::vmrWindowed);
    EXPECT_NE(video->RendererFilter().Get(), windowless.Get());
    EXPECT_EQ(Renderer().RenderingMode(), platform::VMR9Mode_Windowed);
    EXPECT_TRUE(video->RendererWindow());
    EXPECT_FALSE(video->WindowlessControl());
    EXPECT_EQ(FilterNames(*graph), (std::vector<std::string>{"VideoWindow1"}));

    // Inactive: only stored, made with the new value at the next activation.
    graph->SetActive(false);
    video->VMROptions().SetStreams(5);
    EXPECT_FALSE(video->RendererFilter());
    graph->SetActive(true);
    DWORD streams = 0;
    ASSERT_EQ(Config(*video)->GetNumberOfStreams(&streams), S_OK);
    EXPECT_EQ(streams, 5u);
}

TEST_F(VideoWindowOptions, OptionChangesRebuildARendererThatHoldsAFile)
{
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    const auto before = video->RendererFilter();
    ASSERT_TRUE(AnyPinConnected(before.Get()));
    video->VMROptions().SetPreferences(PreferenceBit(vpForceMixer) | PreferenceBit(vpForceOffscreen));
    const auto after = video->RendererFilter();
    ASSERT_TRUE(after);
    EXPECT_NE(after.Get(), before.Get());
    EXPECT_FALSE(AnyPinConnected(before.Get())) << "the old renderer was disconnected before it left";
    EXPECT_TRUE(GraphHasFilterNamed(*graph, "VideoWindow1"));
}

// A surface allocator that records what the renderer told it.
class RecordingAllocator final : public ComObject<IVMRSurfaceAllocator9> {
public:
    HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* n) override
    {
        notify = n;
        ++advised;
        return S_OK;
    }
    IVMRSurfaceAllocatorNotify9* notify = nullptr;  // not held: the renderer outlives no allocator call
    int advised = 0;
};

TEST_F(VideoWindowOptions, RenderlessWithoutAFactoryFailsTheActivationWithItsMessage)
{
    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetMode(TVMRVideoMode::vmrRenderless);
    video->SetFilterGraph(graph.get());
    try {
        graph->SetActive(true);
        FAIL() << "no exception";
    } catch (const EMediaGraphException& e) {
        EXPECT_STREQ(e.what(), "Allocator class not set.");
    }
    EXPECT_FALSE(GraphHasFilterNamed(*graph, "VideoWindow1"));
    EXPECT_NO_THROW(graph->SetActive(false));
}

TEST_F(VideoWindowOptions, AFailingFactoryFailsTheLinkWithItsCodeAndTheControlStaysLinked)
{
    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetMode(TVMRVideoMode::vmrRenderless);
    HWND givenWindow = 0;
    video->AllocatorFactory = [&](HRESULT& result, HWND window, IUnknown* a, IUnknown* b) -> ComPtr<IUnknown> {
        givenWindow = window;
        EXPECT_EQ(a, nullptr);
        EXPECT_EQ(b, nullptr);
        result = E_OUTOFMEMORY;
        return {};
    };
    graph->SetActive(true);
    try {
        video->SetFilterGraph(graph.get());
        FAIL() << "no exception";
    } catch (const EMediaGraphException& e) {
        EXPECT_STREQ(e.what(), "Error Creating Allocator");
        EXPECT_EQ(e.ResultCode, E_OUTOFMEMORY);
    }
    EXPECT_EQ(givenWindow, video->Handle());
    // The graph lists the control, so the control must know the graph to leave it again.
    EXPECT_EQ(video->FilterGraph(), graph.get());
    video->SetFilterGraph(nullptr);
    EXPECT_EQ(graph->LinkedFilterCount(), 0u);
    EXPECT_EQ(graph->GraphListenerCount(), 0u);

    // A factory that claims success but makes nothing is a failure too.
    video->AllocatorFactory = [](HRESULT& result, HWND, IUnknown*, IUnknown*) -> ComPtr<IUnknown> {
        result = S_OK;
        return {};
    };
    EXPECT_THROW(video->SetFilterGraph(graph.get()), EMediaGraphException);
}

TEST_F(VideoWindowOptions, ARenderlessAllocatorIsAdvisedBothWaysAndDroppedAtTeardown)
{
    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetMode(TVMRVideoMode::vmrRenderless);
    video->AllocatorUserId = 0x5eed;
    ComPtr<RecordingAllocator> made;
    video->AllocatorFactory = [&](HRESULT& result, HWND, IUnknown*, IUnknown*) -> ComPtr<IUnknown> {
        made = MakeComObject<RecordingAllocator>();
        result = S_OK;
        return ComPtr<IUnknown>(static_cast<IVMRSurfaceAllocator9*>(made.Get()));
    };
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    ASSERT_TRUE(made);
    EXPECT_EQ(Renderer().RenderingMode(), platform::VMR9Mode_Renderless);
    EXPECT_EQ(Renderer().Allocator().Get(), static_cast<IVMRSurfaceAllocator9*>(made.Get()));
    EXPECT_EQ(made->advised, 1);
    EXPECT_NE(made->notify, nullptr);
    EXPECT_TRUE(video->Allocator());
    EXPECT_FALSE(video->RendererWindow());
    EXPECT_FALSE(video->WindowlessControl());
    EXPECT_NO_THROW(video->VMROptions().SetKeepAspectRatio(false)) << "renderless has no aspect switch to drive";

    graph->SetActive(false);
    EXPECT_FALSE(video->Allocator());
    EXPECT_FALSE(video->RendererFilter());
    // Only the test's own reference is left: neither the control nor a renderer keeps it alive.
    made->AddRef();
    EXPECT_EQ(made->Release(), 1u);
}

}  // namespace
}  // namespace kestrine::media::testing
