#pragma once
// What the filter graph component's tests share: an initialised runtime, providers and listeners that
// write every call into one journal, and a builder class whose event queue and media control the
// test scripts, registered in place of the platform's capture and DVD builders.
#include "media/ComponentInterfaces.h"
#include "media/GraphLinks.h"
#include "media/MediaGraph.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/FilterGraphManager.h"
#include "platform/graph/GraphBuilders.h"
#include "platform/graph/Enumerators.h"
#include "platform/graph/MemoryRenderer.h"
#include "platform/graph/MessageWindow.h"
#include "platform/graph/SourceOpeners.h"
#include "doubles/TestPatternSource.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrine::media::testing {

using namespace kestrine::platform;

using Journal = std::vector<std::string>;

// Whether the graph holds a filter under this name.
inline bool GraphHasFilterNamed(TFilterGraph& graph, const std::string& name)
{
    const auto manager = graph.GraphManager();
    if (!manager) return false;
    ComPtr<IBaseFilter> found;
    return manager->FindFilterByName(ToWide(name).c_str(), found.GetAddressOf()) == S_OK;
}

// A provider that behaves as a video window does: it makes its filter when told the graph will add
// it and drops it once removed. Each call is journalled, with whether the filter is in the graph
// at the time, so the order of the graph's steps shows.
class RecordingProvider final : public ComponentInterfaces<IGraphFilterProvider> {
public:
    RecordingProvider(std::string name, Journal& journal, TFilterGraph* graph = nullptr)
        : name_(std::move(name)), journal_(journal), graph_(graph)
    {
    }

    HRESULT GetFilter(IBaseFilter** filter) override
    {
        journal_.push_back(name_ + ".GetFilter");
        if (filter == nullptr) return E_POINTER;
        *filter = filter_.Get();
        if (*filter) (*filter)->AddRef();
        return S_OK;
    }
    HRESULT GetFilterName(std::string* name) override
    {
        journal_.push_back(name_ + ".GetFilterName");
        *name = name_;
        return S_OK;
    }
    HRESULT FilterNotify(LONG operation, LONG param) override
    {
        std::string entry = name_ + ".FilterNotify(" + std::to_string(operation) + "," + std::to_string(param) + ")";
        if (graph_ && graph_->Active()) entry += GraphHasFilterNamed(*graph_, name_) ? " in" : " out";
        journal_.push_back(entry);
        if (operation == kFilterBeforeAdd) filter_ = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
        if (operation == kFilterRemoved) filter_.Reset();
        if (throwOn && *throwOn == operation) throw std::runtime_error(name_ + " refused operation " + std::to_string(operation));
        return S_OK;
    }

    ComPtr<MemoryRenderer> Filter() const { return filter_; }
    std::optional<LONG> throwOn;

private:
    std::string name_;
    Journal& journal_;
    TFilterGraph* graph_;
    ComPtr<MemoryRenderer> filter_;
};

class RecordingListener final : public ComponentInterfaces<IGraphListener> {
public:
    RecordingListener(std::string name, Journal& journal) : name_(std::move(name)), journal_(journal) {}

    HRESULT GraphEventNotify(LONG code, LONG_PTR param1, LONG_PTR param2) override
    {
        journal_.push_back(name_ + ".Event(" + std::to_string(code) + "," + std::to_string(param1) + "," + std::to_string(param2) + ")");
        if (onEvent) onEvent(code);
        return S_OK;
    }
    HRESULT GraphControlNotify(LONG operation, LONG value) override
    {
        journal_.push_back(name_ + ".Control(" + std::to_string(operation) + "," + std::to_string(value) + ")");
        if (onControl) onControl(operation);
        return S_OK;
    }

    std::function<void(LONG)> onEvent;
    std::function<void(LONG)> onControl;

private:
    std::string name_;
    Journal& journal_;
};

// A stand-in for the capture and the DVD graph builder. The component asks the builder for an
// interface before the graph manager, so whatever this object answers replaces the graph's own:
// its event queue is the test's script, its media control gives scripted results, and it offers
// DVD information with scripted stream languages.
class ScriptedBuilder final : public ComObject<ICaptureGraphBuilder2, IDvdGraphBuilder, IMediaEventEx, IMediaControl, IDvdInfo2> {
public:
    struct Freed {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
        friend bool operator==(const Freed&, const Freed&) = default;
    };

    // Interfaces this object refuses, so the query goes on to the graph manager.
    bool offersEvents = true;
    bool offersControl = false;
    bool offersDvdInfo = false;

    HRESULT pauseResult = S_OK;
    HRESULT runResult = S_OK;
    HRESULT stopResult = S_OK;
    std::map<ULONG, LCID> audioLanguages;       // stream → locale; others fail
    std::map<ULONG, LCID> subpictureLanguages;

    // Queues an event and posts the notification, as the platform's graph does.
    void Queue(LONG code, LONG_PTR param1 = 0, LONG_PTR param2 = 0)
    {
        events.push_back({code, param1, param2});
        if (window != 0 && flags == 0) PostMessage(static_cast<HWND>(window), static_cast<UINT>(message), 0, instance);
    }

    std::deque<Freed> events;
    std::vector<Freed> freed;
    std::vector<LONG> flagHistory;
    OAHWND window = 0;
    LONG message = 0;
    LONG_PTR instance = 0;
    LONG flags = 0;
    ComPtr<IGraphBuilder> graph;
    Journal* journal = nullptr;  // FreeEventParams is written here too, to show where it comes

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if ((riid == IID_IMediaEventEx || riid == IID_IMediaEvent) && !offersEvents) return Refuse(ppv);
        if (riid == IID_IMediaControl && !offersControl) return Refuse(ppv);
        if (riid == IID_IDvdInfo2 && !offersDvdInfo) return Refuse(ppv);
        return ComObject::QueryInterface(riid, ppv);
    }

    // ICaptureGraphBuilder2
    HRESULT SetFiltergraph(IGraphBuilder* g) override
    {
        graph = g;
        return S_OK;
    }
    HRESULT GetFiltergraph(IGraphBuilder** g) override
    {
        if (!graph) CoCreateInstance(CLSID_FilterGraph, &graph);
        return graph.CopyTo(g);
    }
    HRESULT FindInterface(const GUID*, const GUID*, IBaseFilter*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT RenderStream(const GUID*, const GUID*, IUnknown*, IBaseFilter*, IBaseFilter*) override { return E_NOTIMPL; }
    // IDvdGraphBuilder
    HRESULT GetDvdInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IDvdInfo2 && offersDvdInfo) return QueryInterface(riid, ppv);
        return Refuse(ppv);
    }
    HRESULT RenderDvdVideoVolume(LPCWSTR, DWORD, void*) override { return E_NOTIMPL; }
    // IMediaEventEx
    HRESULT GetEventHandle(OAEVENT*) override { return E_NOTIMPL; }
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG) override
    {
        if (events.empty()) return E_ABORT;
        *code = events.front().code;
        *param1 = events.front().param1;
        *param2 = events.front().param2;
        events.pop_front();
        return S_OK;
    }
    HRESULT WaitForCompletion(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT CancelDefaultHandling(LONG) override { return S_OK; }
    HRESULT RestoreDefaultHandling(LONG) override { return S_OK; }
    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override
    {
        freed.push_back({code, param1, param2});
        if (journal) journal->push_back("Free(" + std::to_string(code) + ")");
        return S_OK;
    }
    HRESULT SetNotifyWindow(OAHWND w, LONG m, LONG_PTR i) override
    {
        window = w;
        message = m;
        instance = i;
        return S_OK;
    }
    HRESULT SetNotifyFlags(LONG f) override
    {
        flags = f;
        flagHistory.push_back(f);
        return S_OK;
    }
    HRESULT GetNotifyFlags(LONG* f) override
    {
        *f = flags;
        return S_OK;
    }
    // IMediaControl
    HRESULT Run() override { return runResult; }
    HRESULT Pause() override { return pauseResult; }
    HRESULT Stop() override { return stopResult; }
    HRESULT GetState(LONG, OAFilterState*) override { return E_NOTIMPL; }
    HRESULT StopWhenReady() override { return E_NOTIMPL; }
    // IDvdInfo2
    HRESULT GetAudioLanguage(ULONG stream, LCID* language) override { return Language(audioLanguages, stream, language); }
    HRESULT GetSubpictureLanguage(ULONG stream, LCID* language) override { return Language(subpictureLanguages, stream, language); }

private:
    static HRESULT Refuse(void** ppv)
    {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    static HRESULT Language(const std::map<ULONG, LCID>& table, ULONG stream, LCID* language)
    {
        const auto it = table.find(stream);
        if (it == table.end()) return VFW_E_NOT_FOUND;
        *language = it->second;
        return S_OK;
    }
};

// Puts ScriptedBuilder in place of both builder classes for the test's lifetime; Last() is the one
// the component made most recently.
class ScriptedBuilders {
public:
    ScriptedBuilders()
    {
        const auto factory = [this](REFIID riid, void** ppv) {
            last_ = MakeComObject<ScriptedBuilder>();
            if (prepare) prepare(*last_);
            return last_->QueryInterface(riid, ppv);
        };
        RegisterComClass(CLSID_CaptureGraphBuilder2, factory);
        RegisterComClass(CLSID_DvdGraphBuilder, factory);
    }
    ~ScriptedBuilders()
    {
        RegisterComClass(CLSID_CaptureGraphBuilder2, &CreateAndQuery<CaptureGraphBuilder>);
        RegisterComClass(CLSID_DvdGraphBuilder, &CreateAndQuery<DvdGraphBuilder>);
    }
    ScriptedBuilders(const ScriptedBuilders&) = delete;
    ScriptedBuilders& operator=(const ScriptedBuilders&) = delete;

    ScriptedBuilder& Last() { return *last_; }
    std::function<void(ScriptedBuilder&)> prepare;  // runs on each new builder before it is handed out

private:
    ComPtr<ScriptedBuilder> last_;
};

// Lets the GUI thread's event loop run until done() holds; false after timeoutMs (a hang guard, not a
// timing check).
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Delivers whatever is posted now.
inline void PumpPosted()
{
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Files that open as the graph's test pattern source, so a graph can be rendered from a path:
// "video.kpat" (25 frames of 40 ms), "av.kpat" (the same with audio) and "mixed.kpat" (video and a
// stream no decoder takes).
class PatternFiles {
public:
    PatternFiles() : dir_(kestrine::test::FreshTestDir())
    {
        for (const char* name : {"video.kpat", "av.kpat", "mixed.kpat"}) std::ofstream(dir_ / name) << "pattern";
        RegisterSourceOpener(kOpener, [](const std::string& path, ComPtr<IBaseFilter>* out) -> HRESULT {
            const auto video = TestPatternSource::VideoStream(25, kUnitsPerSecond / 25, 5);
            std::vector<TestPatternSource::Stream> streams;
            if (path.ends_with("/video.kpat")) streams = {video};
            else if (path.ends_with("/av.kpat")) streams = {video, TestPatternSource::AudioStream(10, kUnitsPerSecond / 10)};
            else if (path.ends_with("/mixed.kpat")) {
                auto odd = video;
                odd.type.subtype = SubtypeFromTag(FourCC('Z', 'Z', 'Z', '9'));
                streams = {video, odd};
            } else {
                return VFW_E_UNKNOWN_FILE_TYPE;
            }
            *out = MakeComObject<TestPatternSource>(streams);
            return S_OK;
        });
    }
    ~PatternFiles() { UnregisterSourceOpener(kOpener); }
    PatternFiles(const PatternFiles&) = delete;
    PatternFiles& operator=(const PatternFiles&) = delete;

    std::u16string Path(const char* name) const { return ToWide((dir_ / name).string()); }

private:
    static constexpr const char* kOpener = "media-test-pattern";
    std::filesystem::path dir_;
};

// The filter names of the graph, in enumeration order.
inline std::vector<std::string> FilterNames(TFilterGraph& graph)
{
    std::vector<std::string> names;
    const auto manager = graph.GraphManager();
    if (!manager) return names;
    ComPtr<IEnumFilters> filters;
    manager->EnumFilters(filters.GetAddressOf());
    for (ComPtr<IBaseFilter> f; filters->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
        FILTER_INFO info;
        f->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        names.push_back(ToUtf8(info.achName));
    }
    return names;
}

// Whether any pin of the filter is connected.
inline bool AnyPinConnected(IBaseFilter* filter)
{
    for (const auto& pin : ListPins(filter)) {
        ComPtr<IPin> peer;
        if (pin->ConnectedTo(peer.GetAddressOf()) == S_OK) return true;
    }
    return false;
}

class FilterGraphTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

}  // namespace kestrine::media::testing
