// The video window as a member of its graph: linking, the renderer's life from activation to
// deactivation, the renderer kind, interface queries, the removal notice and destruction.
#include "VideoWindowTestSupport.h"

#include <cfenv>

namespace kestrine::media::testing {
namespace {

using VideoWindowLinking = VideoWindowTest;

TEST_F(VideoWindowLinking, LinkingToAnInactiveGraphOnlyRegistersAndActivationMakesTheRenderer)
{
    video->SetFilterGraph(graph.get());
    EXPECT_EQ(video->FilterGraph(), graph.get());
    EXPECT_EQ(graph->LinkedFilterCount(), 1u);
    EXPECT_EQ(graph->GraphListenerCount(), 1u);
    EXPECT_FALSE(video->RendererFilter());

    graph->SetActive(true);
    ASSERT_TRUE(video->RendererFilter());
    EXPECT_TRUE(GraphHasFilterNamed(*graph, "VideoWindow1")) << "added under the component's name";
    EXPECT_TRUE(video->RendererWindow()) << "the classic renderer's window is taken at configuration";
    EXPECT_EQ(Renderer().RendererKind(), platform::VideoRendererFilter::Kind::Classic);

    graph->SetActive(false);
    EXPECT_FALSE(video->RendererFilter());
    EXPECT_FALSE(video->RendererWindow());
    EXPECT_EQ(graph->LinkedFilterCount(), 1u) << "still linked for the next activation";

    // Linking the same graph again changes nothing; unlinking takes the control out of both lists.
    video->SetFilterGraph(graph.get());
    EXPECT_EQ(graph->LinkedFilterCount(), 1u);
    video->SetFilterGraph(nullptr);
    EXPECT_EQ(graph->LinkedFilterCount(), 0u);
    EXPECT_EQ(graph->GraphListenerCount(), 0u);
    EXPECT_EQ(video->FilterGraph(), nullptr);
}

TEST_F(VideoWindowLinking, MovingToAnotherActiveGraphTakesTheRendererAlong)
{
    TFilterGraph other;
    graph->SetActive(true);
    other.SetActive(true);
    video->SetFilterGraph(graph.get());
    ASSERT_TRUE(GraphHasFilterNamed(*graph, "VideoWindow1"));
    video->SetFilterGraph(&other);
    EXPECT_FALSE(GraphHasFilterNamed(*graph, "VideoWindow1"));
    EXPECT_TRUE(GraphHasFilterNamed(other, "VideoWindow1"));
    EXPECT_EQ(graph->LinkedFilterCount(), 0u);
    EXPECT_EQ(other.LinkedFilterCount(), 1u);
    video->SetFilterGraph(nullptr);
    EXPECT_FALSE(GraphHasFilterNamed(other, "VideoWindow1"));
    EXPECT_FALSE(video->RendererFilter());
}

TEST_F(VideoWindowLinking, MixingRendererModeMakesTheMixingRendererWindowed)
{
    video->SetMode(TVideoMode::vmVMR);
    ASSERT_EQ(video->Mode(), TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    ASSERT_TRUE(video->RendererFilter());
    EXPECT_EQ(Renderer().RendererKind(), platform::VideoRendererFilter::Kind::Mixing);
    EXPECT_EQ(Renderer().RenderingMode(), platform::VMR9Mode_Windowed);
    EXPECT_TRUE(video->RendererWindow());
    EXPECT_FALSE(video->WindowlessControl());
}

TEST_F(VideoWindowLinking, ChangingTheKindOnAnActiveGraphRebuildsTheRendererEvenForTheSameValue)
{
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    const auto classic = video->RendererFilter();
    video->SetMode(TVideoMode::vmVMR);
    const auto mixing = video->RendererFilter();
    ASSERT_TRUE(mixing);
    EXPECT_NE(mixing.Get(), classic.Get());
    EXPECT_EQ(Renderer().RendererKind(), platform::VideoRendererFilter::Kind::Mixing);
    EXPECT_TRUE(GraphHasFilterNamed(*graph, "VideoWindow1"));
    EXPECT_EQ(FilterNames(*graph).size(), 1u) << "the old renderer left the graph";

    video->SetMode(TVideoMode::vmVMR);
    EXPECT_NE(video->RendererFilter().Get(), mixing.Get());
}

TEST_F(VideoWindowLinking, WithoutTheMixingRendererTheKindFallsBackToClassic)
{
    MixingRendererClassRestorer restore;
    EXPECT_TRUE(TVideoWindow::VMRAvailable());
    ASSERT_TRUE(UnregisterComClass(CLSID_VideoMixingRenderer9));
    EXPECT_FALSE(TVideoWindow::VMRAvailable());
    video->SetMode(TVideoMode::vmVMR);
    EXPECT_EQ(video->Mode(), TVideoMode::vmNormal);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    ASSERT_TRUE(video->RendererFilter());
    EXPECT_EQ(Renderer().RendererKind(), platform::VideoRendererFilter::Kind::Classic);
}

TEST_F(VideoWindowLinking, AMixingRendererThatCannotBeMadeLeavesNoFilterAndNothingBreaks)
{
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    {
        MixingRendererClassRestorer restore;
        ASSERT_TRUE(UnregisterComClass(CLSID_VideoMixingRenderer9));
        EXPECT_NO_THROW(graph->SetActive(true));
        EXPECT_FALSE(video->RendererFilter());
        EXPECT_FALSE(video->RendererWindow());
        EXPECT_TRUE(FilterNames(*graph).empty());
        EXPECT_NO_THROW(video->SetFullScreen(true));
        EXPECT_TRUE(video->FullScreen());
        EXPECT_NO_THROW(graph->SetActive(false));
    }
}

TEST_F(VideoWindowLinking, TheFloatingPointEnvironmentSurvivesMakingTheMixingRenderer)
{
    const int before = std::fegetround();
    ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
    // The renderer's class is replaced by one that changes the rounding mode while it is made.
    MixingRendererClassRestorer restore;
    RegisterComClass(CLSID_VideoMixingRenderer9, [](REFIID riid, void** ppv) {
        std::fesetround(FE_TOWARDZERO);
        auto f = MakeComObject<VideoRendererFilter>(VideoRendererFilter::Kind::Mixing);
        return f->QueryInterface(riid, ppv);
    });
    EXPECT_TRUE(TVideoWindow::VMRAvailable());
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    EXPECT_TRUE(video->RendererFilter());
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(before);
}

TEST_F(VideoWindowLinking, QueriesReachTheWindowlessControlTheOwnInterfacesAndThenTheRenderer)
{
    ComPtr<IVMRAspectRatioControl9> aspect;
    EXPECT_EQ(video->QueryInterface(IID_IVMRAspectRatioControl9, reinterpret_cast<void**>(aspect.GetAddressOf())), E_NOINTERFACE);
    void* own = nullptr;
    ASSERT_EQ(video->QueryInterface(IID_IGraphListener, &own), S_OK);
    EXPECT_EQ(own, static_cast<IGraphListener*>(video));

    video->SetMode(TVideoMode::vmVMR);
    video->VMROptions().SetMode(TVMRVideoMode::vmrWindowless);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    ASSERT_TRUE(video->WindowlessControl());
    ComPtr<IVMRWindowlessControl9> windowless;
    ASSERT_EQ(video->QueryInterface(IID_IVMRWindowlessControl9, reinterpret_cast<void**>(windowless.GetAddressOf())), S_OK);
    EXPECT_EQ(windowless.Get(), video->WindowlessControl().Get());
    ASSERT_EQ(video->QueryInterface(IID_IVMRAspectRatioControl9, reinterpret_cast<void**>(aspect.GetAddressOf())), S_OK);
    EXPECT_EQ(video->QueryInterface(IID_IGraphFilterProvider, &own), S_OK);
    EXPECT_EQ(own, static_cast<IGraphFilterProvider*>(video));
    ComPtr<IVideoWindow> none;
    EXPECT_EQ(video->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(none.GetAddressOf())), E_NOINTERFACE) << "windowless has no window";
}

TEST_F(VideoWindowLinking, DestroyingALinkedControlOnAnActiveGraphTakesItsRendererOutFirst)
{
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    LoadPaused(PlainVideo());
    ComPtr<IBaseFilter> renderer = video->RendererFilter();
    ASSERT_TRUE(AnyPinConnected(renderer.Get()));
    delete video;
    video = nullptr;
    EXPECT_FALSE(GraphHasFilterNamed(*graph, "VideoWindow1"));
    EXPECT_FALSE(AnyPinConnected(renderer.Get())) << "its pins were disconnected";
    EXPECT_EQ(graph->LinkedFilterCount(), 0u);
    EXPECT_EQ(graph->GraphListenerCount(), 0u);
    // The graph goes on without it.
    EXPECT_TRUE(graph->Play());
    EXPECT_NO_THROW(graph->SetActive(false));
}

TEST_F(VideoWindowLinking, RemovalNoticeForTheLinkedGraphForgetsItWithoutCallingIt)
{
    video->SetFilterGraph(graph.get());
    TFilterGraph other;
    video->ComponentRemoved(&other);
    EXPECT_EQ(video->FilterGraph(), graph.get()) << "another component's removal is no concern";
    video->ComponentRemoved(graph.get());
    EXPECT_EQ(video->FilterGraph(), nullptr);
    EXPECT_EQ(graph->LinkedFilterCount(), 1u) << "the graph was not called";
    // The graph's own lists are its owner's to clear now; the control can go without touching it.
    graph.reset();
    delete video;
    video = nullptr;
}

TEST_F(VideoWindowLinking, AGraphDeletedFirstLeavesNoDanglingLink)
{
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    graph->SetActive(true);
    ASSERT_TRUE(video->RendererFilter());
    graph.reset();  // deactivates, which takes the renderer down, then goes
    EXPECT_EQ(video->FilterGraph(), nullptr);
    EXPECT_FALSE(video->RendererFilter());
    EXPECT_NO_THROW(video->VMROptions().SetStreams(2));
    EXPECT_NO_THROW(video->SetMode(TVideoMode::vmNormal));
    delete video;
    video = nullptr;
}

TEST_F(VideoWindowLinking, VideoHandleIsTheRendererWindowFoundByTheComponentName)
{
    EXPECT_FALSE(IsWindow(video->VideoHandle())) << "no renderer window: the canvas stand-in";
    EXPECT_NE(video->VideoHandle(), 0u);
    video->SetMode(TVideoMode::vmVMR);
    video->SetFilterGraph(graph.get());
    LoadPaused(PlainVideo());
    const HWND handle = video->VideoHandle();
    ASSERT_TRUE(IsWindow(handle));
    EXPECT_EQ(handle, Renderer().WindowHandle());
    EXPECT_EQ(WindowTitle(handle), "VideoWindow1") << "the caption carries the component's name";
    EXPECT_EQ(WindowClassName(handle), "VideoRenderer");
    EXPECT_EQ(WindowWidget(video->ParentHandle()), owner.get());
}

}  // namespace
}  // namespace kestrine::media::testing
