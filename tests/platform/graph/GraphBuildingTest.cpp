#include "GraphTestSupport.h"

#include "platform/com/ErrorText.h"
#include "platform/com/WideString.h"
#include "platform/graph/GraphBuilders.h"
#include "platform/graph/SourceOpeners.h"
#include "support/TestPaths.h"

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

using namespace kestrine::platform;
using kestrine::platform::testing::GraphTest;
using kestrine::platform::testing::kFrame;

namespace {

std::vector<std::u16string> FilterNames(IFilterGraph* graph)
{
    std::vector<std::u16string> names;
    ComPtr<IEnumFilters> e;
    EXPECT_EQ(graph->EnumFilters(e.GetAddressOf()), S_OK);
    ComPtr<IBaseFilter> f;
    while (e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        FILTER_INFO info;
        f->QueryFilterInfo(&info);
        names.emplace_back(info.achName);
        EXPECT_TRUE(IsSameObject(info.pGraph, graph));
        if (info.pGraph) info.pGraph->Release();
    }
    return names;
}

ComPtr<MemoryRenderer> VideoRenderer() { return MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32}); }

TestPatternSource::Stream UndecodableStream()
{
    auto s = TestPatternSource::VideoStream(10, kFrame, 1);
    s.type.subtype = SubtypeFromTag(FourCC('Z', 'Z', 'Z', '9'));
    return s;
}

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class GraphBuilding : public GraphTest {};

TEST_F(GraphBuilding, EveryGraphClassIsCreatedWithItsInterfaces)
{
    // One object answers every graph interface, with a single identity.
    const IUnknown* identity = graph.Query<IUnknown>().Get();
    EXPECT_EQ(graph.Query<IGraphBuilder>().Query<IUnknown>().Get(), identity);
    EXPECT_EQ(graph.Query<IFilterGraph>().Query<IUnknown>().Get(), identity);
    EXPECT_EQ(control.Query<IUnknown>().Get(), identity);
    EXPECT_EQ(events.Query<IMediaEvent>().Query<IMediaPosition>().Get(), position.Get());
    EXPECT_TRUE(position.Query<IBasicAudio>());
    EXPECT_FALSE(graph.Query<IBaseFilter>());

    ComPtr<ICaptureGraphBuilder2> capture;
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, &capture), S_OK);
    ComPtr<IGraphBuilder> asBuilder = graph.Query<IGraphBuilder>();
    ASSERT_EQ(capture->SetFiltergraph(asBuilder.Get()), S_OK);
    EXPECT_EQ(capture->SetFiltergraph(asBuilder.Get()), E_UNEXPECTED);
    ComPtr<IGraphBuilder> back;
    ASSERT_EQ(capture->GetFiltergraph(back.GetAddressOf()), S_OK);
    EXPECT_EQ(back.Get(), asBuilder.Get());
    EXPECT_EQ(capture->SetFiltergraph(nullptr), E_POINTER);

    ComPtr<IDvdGraphBuilder> dvd;
    ASSERT_EQ(CoCreateInstance(CLSID_DvdGraphBuilder, &dvd), S_OK);
    ComPtr<IGraphBuilder> dvdGraph;
    ASSERT_EQ(dvd->GetFiltergraph(dvdGraph.GetAddressOf()), S_OK);
    ComPtr<IGraphBuilder> again;
    dvd->GetFiltergraph(again.GetAddressOf());
    EXPECT_EQ(dvdGraph.Get(), again.Get());
    EXPECT_TRUE(dvdGraph.Query<IMediaControl>());  // a working graph
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(dvd->GetDvdInterface(IID_IDvdInfo2, &out), VFW_E_NOT_FOUND);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(dvd->GetDvdInterface(IID_IMediaControl, &out), E_NOINTERFACE);
}

TEST_F(GraphBuilding, AddFindEnumerateAndRemoveFilters)
{
    auto a = VideoRenderer();
    auto b = VideoRenderer();
    auto c = VideoRenderer();
    EXPECT_EQ(graph->AddFilter(a.Get(), u"VideoWindow1"), S_OK);
    EXPECT_EQ(graph->AddFilter(b.Get(), u"VideoWindow1"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(graph->AddFilter(c.Get(), nullptr), S_OK);
    EXPECT_EQ(graph->AddFilter(a.Get(), u"again"), E_INVALIDARG);
    EXPECT_EQ(graph->AddFilter(nullptr, u"x"), E_POINTER);
    const auto names = FilterNames(graph.Get());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], u"VideoWindow1");
    EXPECT_NE(names[1], u"VideoWindow1");
    EXPECT_EQ(names[1].rfind(u"VideoWindow1", 0), 0u);
    EXPECT_FALSE(names[2].empty());

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(graph->FindFilterByName(u"VideoWindow1", found.GetAddressOf()), S_OK);
    EXPECT_TRUE(IsSameObject(found.Get(), a->IdentityUnknown()));
    EXPECT_EQ(graph->FindFilterByName(u"nobody", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

    // Next for several at once, Skip and Clone, as enumerator users may call them.
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.GetAddressOf());
    IBaseFilter* two[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(2, two, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    for (IBaseFilter* f : two) f->Release();
    ComPtr<IEnumFilters> copy;
    e->Clone(copy.GetAddressOf());
    EXPECT_EQ(e->Skip(5), S_FALSE);
    EXPECT_EQ(e->Next(1, found.ReleaseAndGetAddressOf(), nullptr), S_FALSE);
    EXPECT_EQ(copy->Next(1, found.ReleaseAndGetAddressOf(), nullptr), S_OK);
    EXPECT_TRUE(IsSameObject(found.Get(), c->IdentityUnknown()));

    EXPECT_EQ(graph->RemoveFilter(b.Get()), S_OK);
    EXPECT_EQ(graph->RemoveFilter(b.Get()), VFW_E_NOT_FOUND);
    FILTER_INFO info;
    b->QueryFilterInfo(&info);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(FilterNames(graph.Get()).size(), 2u);
    // An enumerator made earlier lists what the graph held then; Reset takes the graph as it is now.
    copy->Reset();
    ULONG left = 0;
    IBaseFilter* all[4] = {};
    copy->Next(4, all, &left);
    EXPECT_EQ(left, 2u);
    for (ULONG i = 0; i < left; ++i) all[i]->Release();
}

TEST_F(GraphBuilding, PinsConnectOnlyWhenDirectionAndTypeAgree)
{
    auto src = MakeComObject<TestPatternSource>(
        std::vector<TestPatternSource::Stream>{TestPatternSource::VideoStream(10, kFrame, 1), TestPatternSource::AudioStream(10, kFrame)});
    auto renderer = VideoRenderer();
    graph->AddFilter(src.Get(), u"source");
    graph->AddFilter(renderer.Get(), u"renderer");
    IPin* videoOut = &src->PinAt(0);
    IPin* audioOut = &src->PinAt(1);
    IPin* in = &renderer->PinAt(0);

    EXPECT_EQ(graph->ConnectDirect(audioOut, in, nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_EQ(graph->ConnectDirect(videoOut, audioOut, nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(in->Connect(videoOut, nullptr), VFW_E_INVALID_DIRECTION);
    ASSERT_EQ(graph->ConnectDirect(videoOut, in, nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(videoOut, in, nullptr), VFW_E_ALREADY_CONNECTED);

    ComPtr<IPin> peer;
    ASSERT_EQ(in->ConnectedTo(peer.GetAddressOf()), S_OK);
    EXPECT_EQ(peer.Get(), videoOut);
    AM_MEDIA_TYPE agreed;
    ASSERT_EQ(videoOut->ConnectionMediaType(&agreed), S_OK);
    EXPECT_EQ(agreed.subtype, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(audioOut->ConnectedTo(peer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer.Get(), nullptr);

    PIN_INFO info;
    ASSERT_EQ(in->QueryPinInfo(&info), S_OK);
    EXPECT_TRUE(IsSameObject(info.pFilter, renderer->IdentityUnknown()));
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    info.pFilter->Release();
    EXPECT_EQ(src->PinAt(0).QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(peer.ReleaseAndGetAddressOf())), E_NOINTERFACE);

    // Removing a filter breaks both halves of its connections.
    ASSERT_EQ(graph->RemoveFilter(renderer.Get()), S_OK);
    EXPECT_EQ(videoOut->ConnectedTo(peer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(in->Disconnect(), S_FALSE);

    // A filter outside the graph cannot be connected through it.
    EXPECT_EQ(graph->ConnectDirect(videoOut, in, nullptr), VFW_E_NOT_IN_GRAPH);
}

TEST_F(GraphBuilding, RenderPrefersRenderersAlreadyInTheGraph)
{
    auto windowRenderer = VideoRenderer();
    graph->AddFilter(windowRenderer.Get(), u"VideoWindow1");
    auto src = MakeComObject<TestPatternSource>(
        std::vector<TestPatternSource::Stream>{TestPatternSource::VideoStream(10, kFrame, 1), TestPatternSource::AudioStream(10, kFrame)});
    graph->AddFilter(src.Get(), u"source");
    ASSERT_EQ(graph->Render(&src->PinAt(0)), S_OK);
    EXPECT_TRUE(windowRenderer->PinAt(0).IsConnected());
    ASSERT_EQ(graph->Render(&src->PinAt(1)), S_OK);  // no audio renderer yet: one is made
    EXPECT_EQ(FilterNames(graph.Get()).size(), 3u);
    EXPECT_EQ(graph->Render(&src->PinAt(1)), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(graph->Render(&windowRenderer->PinAt(0)), VFW_E_INVALID_DIRECTION);

    // The graph forwards volume to its audio renderer, and only takes platform values.
    ASSERT_EQ(graph.Query<IBasicAudio>()->put_Volume(-2000), S_OK);
    LONG volume = 0;
    ASSERT_EQ(graph.Query<IBasicAudio>()->get_Volume(&volume), S_OK);
    EXPECT_EQ(volume, -2000);
    EXPECT_EQ(graph.Query<IBasicAudio>()->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(graph.Query<IBasicAudio>()->put_Volume(-10001), E_INVALIDARG);
    EXPECT_EQ(graph.Query<IBasicAudio>()->get_Volume(&volume), S_OK);
    EXPECT_EQ(volume, -2000);
}

TEST_F(GraphBuilding, VolumeWithoutAudioRendererIsNotAvailable)
{
    BuildPlayback(10, 1);
    LONG volume = 5;
    EXPECT_EQ(graph.Query<IBasicAudio>()->get_Volume(&volume), E_NOTIMPL);
    EXPECT_EQ(graph.Query<IBasicAudio>()->put_Volume(0), E_NOTIMPL);
}

TEST_F(GraphBuilding, RenderFileExplainsEveryFileItCannotPlay)
{
    const auto dir = kestrine::test::FreshTestDir();
    const auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return ToWide((dir / name).string());
    };
    const std::string asfHeader("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
    struct Case {
        std::u16string path;
        HRESULT expected;
    };
    const Case cases[] = {
        {ToWide((dir / "missing.wmv").string()), HR_FILE_NOT_FOUND},
        {ToWide((dir / "no-such-folder" / "a.wmv").string()), HR_PATH_NOT_FOUND},
        {ToWide(dir.string()), E_ACCESSDENIED},
        {write("empty.wmv", ""), VFW_E_FILE_TOO_SHORT},
        {write("notes.wmv", "these are not pictures"), VFW_E_UNKNOWN_FILE_TYPE},
    };
    for (const Case& c : cases) {
        const HRESULT hr = graph->RenderFile(c.path.c_str(), nullptr);
        EXPECT_EQ(hr, c.expected) << ToUtf8(c.path) << ": " << ErrorText(hr);
        char text[256];
        EXPECT_GT(AMGetErrorTextA(hr, text, sizeof text), 0u);
        EXPECT_EQ(std::string(text).find("unknown"), std::string::npos) << text;
        EXPECT_TRUE(FilterNames(graph.Get()).empty());  // nothing left behind
    }
    // An ASF file whose header is damaged is called damaged, not unknown.
    const std::u16string asf = write("header-only.wmv", asfHeader + std::string(64, '\0'));
    EXPECT_EQ(graph->RenderFile(asf.c_str(), nullptr), VFW_E_INVALID_FILE_FORMAT);
    EXPECT_TRUE(FilterNames(graph.Get()).empty());
    EXPECT_EQ(graph->RenderFile(asf.c_str(), u"playlist"), E_INVALIDARG);
    EXPECT_EQ(graph->RenderFile(nullptr, nullptr), E_POINTER);
}

TEST_F(GraphBuilding, RenderFileConnectsWhatItCanAndSaysWhenThatIsNotAll)
{
    // An opener of our own stands in for a file reader: the graph's part is what is tested here.
    RegisterSourceOpener("pattern-test", [](const std::string& path, ComPtr<IBaseFilter>* out) -> HRESULT {
        std::vector<TestPatternSource::Stream> streams;
        if (path.find("mixed") != std::string::npos) streams = {TestPatternSource::VideoStream(10, kFrame, 1), UndecodableStream()};
        else if (path.find("odd") != std::string::npos) streams = {UndecodableStream()};
        else if (path.find("good") != std::string::npos) streams = {TestPatternSource::VideoStream(10, kFrame, 1), TestPatternSource::AudioStream(5, 2 * kFrame)};
        else return VFW_E_UNKNOWN_FILE_TYPE;
        *out = MakeComObject<TestPatternSource>(streams);
        return S_OK;
    });
    const auto dir = kestrine::test::FreshTestDir();
    for (const char* name : {"mixed.kpat", "odd.kpat", "good.kpat"}) std::ofstream(dir / name) << "pattern";

    const auto path = [&](const char* name) { return ToWide((dir / name).string()); };
    EXPECT_EQ(graph->RenderFile(path("odd.kpat").c_str(), nullptr), VFW_E_CANNOT_RENDER);
    EXPECT_TRUE(FilterNames(graph.Get()).empty());

    EXPECT_EQ(graph->RenderFile(path("mixed.kpat").c_str(), nullptr), VFW_S_PARTIAL_RENDER);
    auto names = FilterNames(graph.Get());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], u"mixed.kpat");  // the source is named after the file
    EXPECT_EQ(control->Pause(), S_OK);   // the part that was connected plays
    control->Stop();

    ComPtr<IGraphBuilder> fresh;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &fresh), S_OK);
    EXPECT_EQ(fresh->RenderFile(path("good.kpat").c_str(), nullptr), S_OK);
    EXPECT_EQ(FilterNames(fresh.Get()).size(), 3u);
    REFTIME duration = 0;
    fresh.Query<IMediaPosition>()->get_Duration(&duration);
    EXPECT_DOUBLE_EQ(duration, 1.0);
    UnregisterSourceOpener("pattern-test");
}

TEST_F(GraphBuilding, LogFileGetsOneLinePerOperation)
{
    const auto file = kestrine::test::FreshTestDir() / "graph.log";
    const int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(graph->SetLogFile(static_cast<DWORD_PTR>(fd)), S_OK);
    BuildPlayback(10, 1);
    graph->RenderFile(u"/no/such/file.wmv", nullptr);
    control->Pause();
    position->put_CurrentPosition(0.5);
    graph->RenderFile(u"/no/such/file.wmv", nullptr);
    graph->SetLogFile(0);
    control->Stop();
    ::close(fd);

    const std::string log = ReadAll(file);
    EXPECT_NE(log.find("AddFilter \"VideoWindow1\": S_OK\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Render \"source\".Video 0: S_OK\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Pause: S_OK\n"), std::string::npos) << log;
    EXPECT_NE(log.find("put_CurrentPosition 0.500: S_OK\n"), std::string::npos) << log;
    EXPECT_NE(log.find("RenderFile \"/no/such/file.wmv\": ERROR_PATH_NOT_FOUND\n"), std::string::npos) << log;
    EXPECT_NE(log.find("RenderFile \"/no/such/file.wmv\": VFW_E_NOT_STOPPED\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Stop"), std::string::npos) << "written after the log was switched off";
}
