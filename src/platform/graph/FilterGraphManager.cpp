#include "platform/graph/FilterGraphManager.h"

#include "platform/com/ErrorText.h"
#include "platform/com/WideString.h"
#include "platform/graph/DecoderCatalog.h"
#include "platform/graph/DefaultRenderers.h"
#include "platform/graph/Enumerators.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/MediaSample.h"
#include "platform/graph/ReferenceClocks.h"
#include "platform/graph/SourceOpeners.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace kestrine::platform {
namespace {

constexpr int kMaxRenderDepth = 6;

std::string Seconds(double s)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", s);
    return buffer;
}

bool IsRenderer(IBaseFilter* filter)
{
    ComPtr<IAMFilterMiscFlags> flags;
    if (FAILED(filter->QueryInterface(IID_PPV_ARGS(flags.GetAddressOf())))) return false;
    return (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) != 0;
}

bool HasConnectedPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    for (const ComPtr<IPin>& pin : ListPins(filter)) {
        PIN_DIRECTION d = PINDIR_INPUT;
        pin->QueryDirection(&d);
        ComPtr<IPin> peer;
        if (d == direction && SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf()))) return true;
    }
    return false;
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter, PIN_DIRECTION direction)
{
    std::vector<ComPtr<IPin>> out;
    for (ComPtr<IPin>& pin : ListPins(filter)) {
        PIN_DIRECTION d = PINDIR_INPUT;
        pin->QueryDirection(&d);
        if (d == direction) out.push_back(std::move(pin));
    }
    return out;
}

ComPtr<IBaseFilter> FilterOfPin(IPin* pin)
{
    PIN_INFO info;
    if (pin == nullptr || FAILED(pin->QueryPinInfo(&info))) return nullptr;
    ComPtr<IBaseFilter> filter;
    filter.Attach(info.pFilter);
    return filter;
}

std::string PinLabel(IPin* pin)
{
    PIN_INFO info;
    if (pin == nullptr || FAILED(pin->QueryPinInfo(&info))) return "?";
    ComPtr<IBaseFilter> filter;
    filter.Attach(info.pFilter);
    std::string label;
    FILTER_INFO fi;
    if (filter && SUCCEEDED(filter->QueryFilterInfo(&fi))) {
        label = ToUtf8(fi.achName);
        if (fi.pGraph) fi.pGraph->Release();
    }
    return "\"" + label + "\"." + ToUtf8(info.achName);
}

std::u16string BaseName(const std::u16string& path)
{
    const auto slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

FilterGraphManager::FilterGraphManager() = default;

FilterGraphManager::~FilterGraphManager()
{
    std::lock_guard lock(graphMutex_);
    StopLocked();
    // Pins hold their peers, so the connections are broken before the filters are let go.
    while (!members_.empty()) RemoveFilterLocked(members_.back().filter.Get());
}

// ---- Building -------------------------------------------------------------------------------

std::u16string FilterGraphManager::UniqueName(LPCWSTR requested, bool* changed) const
{
    *changed = false;
    std::u16string base = requested && *requested ? std::u16string(requested) : std::u16string();
    if (base.size() > kMaxFilterName - 6) base.resize(kMaxFilterName - 6);
    const auto taken = [&](const std::u16string& n) {
        return std::any_of(members_.begin(), members_.end(), [&](const Member& m) { return m.name == n; });
    };
    if (!base.empty() && !taken(base)) return base;
    if (!base.empty()) *changed = true;
    for (int i = 1;; ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, base.empty() ? "Filter %04d" : " %04d", i);
        std::u16string candidate = base + ToWide(suffix);
        if (!taken(candidate)) return candidate;
    }
}

bool FilterGraphManager::Contains(IBaseFilter* filter) const
{
    return std::any_of(members_.begin(), members_.end(), [&](const Member& m) { return IsSameObject(m.filter.Get(), filter); });
}

bool FilterGraphManager::PinInGraph(IPin* pin) const
{
    const ComPtr<IBaseFilter> filter = FilterOfPin(pin);
    return filter && Contains(filter.Get());
}

std::string FilterGraphManager::NameForLog(IBaseFilter* filter) const
{
    for (const Member& m : members_)
        if (IsSameObject(m.filter.Get(), filter)) return "\"" + ToUtf8(m.name) + "\"";
    return "(not in graph)";
}

HRESULT FilterGraphManager::AddFilterLocked(IBaseFilter* filter, LPCWSTR name, std::vector<ComPtr<IBaseFilter>>* added)
{
    if (filter == nullptr) return E_POINTER;
    if (Contains(filter)) return E_INVALIDARG;
    bool changed = false;
    std::u16string unique = UniqueName(name, &changed);
    const HRESULT joined = filter->JoinFilterGraph(static_cast<IFilterGraph*>(static_cast<IFilterGraph2*>(this)), unique.c_str());
    if (FAILED(joined)) return joined;
    if (clock_) filter->SetSyncSource(clock_.Get());
    members_.push_back(Member{ComPtr<IBaseFilter>(filter), unique});
    if (added) added->emplace_back(filter);
    FollowMembersLocked();
    const HRESULT hr = changed ? VFW_S_DUPLICATE_NAME : S_OK;
    log_.Write("AddFilter \"" + ToUtf8(unique) + "\"", hr);
    return hr;
}

HRESULT FilterGraphManager::RemoveFilterLocked(IBaseFilter* filter)
{
    if (filter == nullptr) return E_POINTER;
    const auto it = std::find_if(members_.begin(), members_.end(), [&](const Member& m) { return IsSameObject(m.filter.Get(), filter); });
    if (it == members_.end()) return VFW_E_NOT_FOUND;
    const Member member = *it;
    FILTER_STATE fs = State_Stopped;
    member.filter->GetState(0, &fs);
    if (fs != State_Stopped) member.filter->Stop();
    // Both ends of every connection, so neither filter keeps the other alive. A renderer that took
    // its own pins down first leaves the far ends still pointing at it; those are found from the far side.
    const std::vector<ComPtr<IPin>> own = ListPins(member.filter.Get());
    for (const ComPtr<IPin>& pin : own) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf())) && peer) peer->Disconnect();
        pin->Disconnect();
    }
    for (const Member& other : members_) {
        if (other.filter == member.filter) continue;
        for (const ComPtr<IPin>& pin : ListPins(other.filter.Get())) {
            ComPtr<IPin> peer;
            if (FAILED(pin->ConnectedTo(peer.GetAddressOf()))) continue;
            for (const ComPtr<IPin>& mine : own)
                if (peer == mine) pin->Disconnect();
        }
    }
    member.filter->SetSyncSource(nullptr);
    member.filter->JoinFilterGraph(nullptr, nullptr);
    members_.erase(std::find_if(members_.begin(), members_.end(), [&](const Member& m) { return m.filter == member.filter; }));
    // A clock the filter gave goes with it: nobody may wait on, or keep alive, a filter out of the graph.
    if (clock_ && IsSameObject(clock_.Get(), member.filter.Get())) clockChosen_ = false;
    FollowMembersLocked();
    log_.Write("RemoveFilter \"" + ToUtf8(member.name) + "\"", S_OK);
    if (state_ == State_Running) RecountRenderersLocked();
    return S_OK;
}

HRESULT FilterGraphManager::AddFilter(IBaseFilter* filter, LPCWSTR name)
{
    std::lock_guard lock(graphMutex_);
    return AddFilterLocked(filter, name, nullptr);
}

HRESULT FilterGraphManager::RemoveFilter(IBaseFilter* filter)
{
    std::lock_guard lock(graphMutex_);
    const HRESULT hr = RemoveFilterLocked(filter);
    if (FAILED(hr)) log_.Write("RemoveFilter", hr);
    return hr;
}

HRESULT FilterGraphManager::EnumFilters(IEnumFilters** filters)
{
    if (filters == nullptr) return E_POINTER;
    auto lister = [self = ComPtr<IFilterGraph2>(this), this] {
        std::lock_guard lock(graphMutex_);
        std::vector<ComPtr<IBaseFilter>> out;
        for (const Member& m : members_) out.push_back(m.filter);
        return out;
    };
    *filters = MakeComObject<InterfaceEnumerator<IEnumFilters, IBaseFilter>>(std::move(lister)).Detach();
    return S_OK;
}

HRESULT FilterGraphManager::FindFilterByName(LPCWSTR name, IBaseFilter** filter)
{
    if (name == nullptr || filter == nullptr) return E_POINTER;
    *filter = nullptr;
    std::lock_guard lock(graphMutex_);
    for (const Member& m : members_)
        if (m.name == name) return m.filter.CopyTo(filter);
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraphManager::ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* mediaType)
{
    if (output == nullptr || input == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    HRESULT hr = S_OK;
    if (!PinInGraph(output) || !PinInGraph(input)) hr = VFW_E_NOT_IN_GRAPH;
    else if (state_ != State_Stopped) hr = VFW_E_NOT_STOPPED;
    else hr = output->Connect(input, mediaType);
    log_.Write("ConnectDirect " + PinLabel(output) + " -> " + PinLabel(input), hr);
    return hr;
}

HRESULT FilterGraphManager::Reconnect(IPin*) { return E_NOTIMPL; }
HRESULT FilterGraphManager::ReconnectEx(IPin*, const AM_MEDIA_TYPE*) { return E_NOTIMPL; }

HRESULT FilterGraphManager::Disconnect(IPin* pin)
{
    if (pin == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    if (!PinInGraph(pin)) return VFW_E_NOT_IN_GRAPH;
    return pin->Disconnect();
}

HRESULT FilterGraphManager::ConnectLocked(IPin* output, IPin* input, std::vector<ComPtr<IBaseFilter>>* added, int depth)
{
    if (SUCCEEDED(output->Connect(input, nullptr))) return S_OK;
    if (depth >= kMaxRenderDepth) return VFW_E_CANNOT_CONNECT;
    for (const AM_MEDIA_TYPE& type : ListMediaTypes(output)) {
        for (ComPtr<IBaseFilter>& decoder : CreateDecodersFor(type)) {
            if (FAILED(AddFilterLocked(decoder.Get(), u"Decoder", added))) continue;
            bool ok = false;
            for (const ComPtr<IPin>& in : PinsOf(decoder.Get(), PINDIR_INPUT)) {
                if (FAILED(output->Connect(in.Get(), &type))) continue;
                for (const ComPtr<IPin>& out : PinsOf(decoder.Get(), PINDIR_OUTPUT))
                    if (SUCCEEDED(ConnectLocked(out.Get(), input, added, depth + 1))) ok = true;
                if (ok) break;
                output->Disconnect();
                in->Disconnect();
            }
            if (ok) return S_OK;
            RemoveFilterLocked(decoder.Get());
            if (added) std::erase(*added, decoder);
        }
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT FilterGraphManager::Connect(IPin* output, IPin* input)
{
    if (output == nullptr || input == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    HRESULT hr = S_OK;
    if (!PinInGraph(output) || !PinInGraph(input)) hr = VFW_E_NOT_IN_GRAPH;
    else if (state_ != State_Stopped) hr = VFW_E_NOT_STOPPED;
    else hr = ConnectLocked(output, input, nullptr, 0);
    log_.Write("Connect " + PinLabel(output) + " -> " + PinLabel(input), hr);
    return hr;
}

HRESULT FilterGraphManager::RenderLocked(IPin* output, bool existingRenderersOnly, std::vector<ComPtr<IBaseFilter>>* added, int depth)
{
    if (depth > kMaxRenderDepth) return VFW_E_CANNOT_RENDER;
    ComPtr<IPin> already;
    if (SUCCEEDED(output->ConnectedTo(already.GetAddressOf()))) return VFW_E_ALREADY_CONNECTED;
    const ComPtr<IBaseFilter> own = FilterOfPin(output);

    // What a connected filter gives out must reach a renderer too, or the connection is undone.
    const auto renderOnwards = [&](IBaseFilter* next) {
        for (const ComPtr<IPin>& out : PinsOf(next, PINDIR_OUTPUT))
            if (FAILED(RenderLocked(out.Get(), existingRenderersOnly, added, depth + 1))) return false;
        return true;
    };

    // 1. Free inputs of filters already in the graph: a video window's renderer, a decoder.
    std::vector<ComPtr<IBaseFilter>> present;
    for (const Member& m : members_) present.push_back(m.filter);
    for (const ComPtr<IBaseFilter>& candidate : present) {
        if (IsSameObject(candidate.Get(), own.Get())) continue;
        for (const ComPtr<IPin>& in : PinsOf(candidate.Get(), PINDIR_INPUT)) {
            ComPtr<IPin> peer;
            if (SUCCEEDED(in->ConnectedTo(peer.GetAddressOf()))) continue;
            if (FAILED(output->Connect(in.Get(), nullptr))) continue;
            if (renderOnwards(candidate.Get())) return S_OK;
            output->Disconnect();
            in->Disconnect();
        }
    }

    const std::vector<AM_MEDIA_TYPE> types = ListMediaTypes(output);
    // 2. A decoder, then onwards from its output.
    for (const AM_MEDIA_TYPE& type : types) {
        for (ComPtr<IBaseFilter>& decoder : CreateDecodersFor(type)) {
            if (FAILED(AddFilterLocked(decoder.Get(), u"Decoder", added))) continue;
            bool ok = false;
            for (const ComPtr<IPin>& in : PinsOf(decoder.Get(), PINDIR_INPUT)) {
                if (FAILED(output->Connect(in.Get(), &type))) continue;
                if (renderOnwards(decoder.Get())) {
                    ok = true;
                    break;
                }
                output->Disconnect();
                in->Disconnect();
            }
            if (ok) return S_OK;
            RemoveFilterLocked(decoder.Get());
            if (added) std::erase(*added, decoder);
        }
    }

    // 3. A renderer of our own for the stream's kind.
    if (!existingRenderersOnly) {
        for (const AM_MEDIA_TYPE& type : types) {
            std::u16string name;
            ComPtr<IBaseFilter> renderer = CreateDefaultRenderer(type, &name);
            if (!renderer) continue;
            if (FAILED(AddFilterLocked(renderer.Get(), name.c_str(), added))) continue;
            for (const ComPtr<IPin>& in : PinsOf(renderer.Get(), PINDIR_INPUT))
                if (SUCCEEDED(output->Connect(in.Get(), &type))) return S_OK;
            RemoveFilterLocked(renderer.Get());
            if (added) std::erase(*added, renderer);
        }
    }
    return VFW_E_CANNOT_RENDER;
}

HRESULT FilterGraphManager::Render(IPin* output) { return RenderEx(output, 0, nullptr); }

HRESULT FilterGraphManager::RenderEx(IPin* output, DWORD flags, DWORD*)
{
    if (output == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    HRESULT hr = S_OK;
    PIN_DIRECTION d = PINDIR_INPUT;
    output->QueryDirection(&d);
    if (!PinInGraph(output)) hr = VFW_E_NOT_IN_GRAPH;
    else if (d != PINDIR_OUTPUT) hr = VFW_E_INVALID_DIRECTION;
    else if (state_ != State_Stopped) hr = VFW_E_NOT_STOPPED;
    else hr = RenderLocked(output, (flags & AM_RENDEREX_RENDERTOEXISTINGRENDERERS) != 0, nullptr, 0);
    log_.Write("Render " + PinLabel(output), hr);
    return hr;
}

HRESULT FilterGraphManager::AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter)
{
    if (file == nullptr || filter == nullptr) return E_POINTER;
    *filter = nullptr;
    std::lock_guard lock(graphMutex_);
    ComPtr<IBaseFilter> source;
    HRESULT hr = OpenSourceForFile(ToUtf8(file), &source);
    if (SUCCEEDED(hr)) {
        const std::u16string name = filterName ? std::u16string(filterName) : BaseName(file);
        hr = AddFilterLocked(source.Get(), name.c_str(), nullptr);
        if (SUCCEEDED(hr)) source.CopyTo(filter);
    }
    log_.Write("AddSourceFilter \"" + ToUtf8(file) + "\"", hr);
    return hr;
}

HRESULT FilterGraphManager::RenderFile(LPCWSTR file, LPCWSTR playlist)
{
    if (file == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    const std::string path = ToUtf8(file);
    const auto finish = [&](HRESULT hr) {
        log_.Write("RenderFile \"" + path + "\"", hr);
        return hr;
    };
    if (playlist != nullptr) return finish(E_INVALIDARG);
    if (state_ != State_Stopped) return finish(VFW_E_NOT_STOPPED);

    ComPtr<IBaseFilter> source;
    const HRESULT opened = OpenSourceForFile(path, &source);
    if (FAILED(opened)) return finish(opened);

    std::vector<ComPtr<IBaseFilter>> added;
    const HRESULT joined = AddFilterLocked(source.Get(), BaseName(file).c_str(), &added);
    if (FAILED(joined)) return finish(joined);

    std::size_t streams = 0;
    std::size_t rendered = 0;
    for (const ComPtr<IPin>& out : PinsOf(source.Get(), PINDIR_OUTPUT)) {
        ++streams;
        if (SUCCEEDED(RenderLocked(out.Get(), false, &added, 0))) ++rendered;
        else log_.WriteLine("RenderFile: stream " + PinLabel(out.Get()) + " left unconnected");
    }
    if (rendered == 0) {
        // Nothing to play: leave the graph as it was.
        for (auto it = added.rbegin(); it != added.rend(); ++it) RemoveFilterLocked(it->Get());
        return finish(VFW_E_CANNOT_RENDER);
    }
    return finish(rendered < streams ? VFW_S_PARTIAL_RENDER : S_OK);
}

HRESULT FilterGraphManager::SetLogFile(DWORD_PTR file)
{
    log_.SetDescriptor(static_cast<int>(file));
    return S_OK;
}

HRESULT FilterGraphManager::Abort() { return S_OK; }
HRESULT FilterGraphManager::ShouldOperationContinue() { return S_OK; }

// ---- Clock and state ----------------------------------------------------------------------

HRESULT FilterGraphManager::SetDefaultSyncSource()
{
    std::lock_guard lock(graphMutex_);
    clockChosen_ = false;
    UseClockLocked(DefaultClockLocked());
    return S_OK;
}

ComPtr<IReferenceClock> FilterGraphManager::DefaultClockLocked()
{
    // A renderer's device clock where there is one, so pictures follow the sound; else the system clock.
    for (const Member& m : members_) {
        ComPtr<IReferenceClock> c;
        if (SUCCEEDED(m.filter->QueryInterface(IID_PPV_ARGS(c.GetAddressOf())))) return c;
    }
    if (!systemClock_) systemClock_ = MakeComObject<SystemReferenceClock>();
    return systemClock_;
}

void FilterGraphManager::UseClockLocked(ComPtr<IReferenceClock> clock)
{
    if (clock == clock_) return;
    const REFERENCE_TIME streamTime = StreamTimeLocked();
    clock_ = std::move(clock);
    for (const Member& m : members_) m.filter->SetSyncSource(clock_.Get());
    if (state_ == State_Running) {
        // The stream goes on where it was, counted from now on by the new clock.
        runStart_ = ClockNow(clock_.Get()) - streamTime;
        for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst()) f->Run(runStart_);
    }
}

void FilterGraphManager::FollowMembersLocked()
{
    if (!clockChosen_) UseClockLocked(DefaultClockLocked());
}

HRESULT FilterGraphManager::SetSyncSource(IReferenceClock* clock)
{
    std::lock_guard lock(graphMutex_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    clock_ = ComPtr<IReferenceClock>(clock);
    clockChosen_ = true;
    for (const Member& m : members_) m.filter->SetSyncSource(clock);
    Notify(EC_CLOCK_CHANGED, 0, 0);
    return S_OK;
}

HRESULT FilterGraphManager::GetSyncSource(IReferenceClock** clock)
{
    if (clock == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    return clock_.CopyTo(clock);
}

HRESULT FilterGraphManager::GetClassID(CLSID* clsid)
{
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_FilterGraph;
    return S_OK;
}

void FilterGraphManager::EnsureClockLocked()
{
    if (!clock_ && !clockChosen_) UseClockLocked(DefaultClockLocked());
}

std::vector<ComPtr<IBaseFilter>> FilterGraphManager::FiltersDownstreamFirst() const
{
    // A filter goes after every filter its outputs feed, so renderers change state before their sources.
    std::vector<ComPtr<IBaseFilter>> left;
    for (const Member& m : members_) left.push_back(m.filter);
    std::vector<ComPtr<IBaseFilter>> ordered;
    while (!left.empty()) {
        bool progressed = false;
        for (auto it = left.begin(); it != left.end();) {
            bool ready = true;
            for (const ComPtr<IPin>& out : PinsOf(it->Get(), PINDIR_OUTPUT)) {
                ComPtr<IPin> peer;
                if (FAILED(out->ConnectedTo(peer.GetAddressOf()))) continue;
                const ComPtr<IBaseFilter> next = FilterOfPin(peer.Get());
                for (const ComPtr<IBaseFilter>& l : left)
                    if (l != *it && IsSameObject(l.Get(), next.Get())) ready = false;
            }
            if (ready) {
                ordered.push_back(*it);
                it = left.erase(it);
                progressed = true;
            } else {
                ++it;
            }
        }
        if (!progressed) {  // cannot happen without a loop; keep going rather than hang
            for (auto& f : left) ordered.push_back(f);
            break;
        }
    }
    return ordered;
}

std::vector<ComPtr<IBaseFilter>> FilterGraphManager::Sources() const
{
    std::vector<ComPtr<IBaseFilter>> out;
    for (const Member& m : members_) {
        ComPtr<IMediaPosition> position;
        if (SUCCEEDED(m.filter->QueryInterface(IID_PPV_ARGS(position.GetAddressOf())))) out.push_back(m.filter);
    }
    return out;
}

void FilterGraphManager::ResetCompletionLocked()
{
    {
        std::lock_guard lock(completionMutex_);
        completedRenderers_.clear();
        completionSent_ = false;
    }
    events_.ResetCompletion();
}

HRESULT FilterGraphManager::WaitForCueLocked(DWORD msTimeout)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msTimeout);
    for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        FILTER_STATE s = State_Stopped;
        if (f->GetState(static_cast<DWORD>(std::max<long long>(left, 0)), &s) == VFW_S_STATE_INTERMEDIATE) return S_FALSE;
    }
    return S_OK;
}

HRESULT FilterGraphManager::PauseLocked()
{
    if (state_ == State_Paused) return WaitForCueLocked(0);
    EnsureClockLocked();
    if (state_ == State_Running) {
        pausedStreamTime_ = StreamTimeLocked();
    } else {
        pausedStreamTime_ = 0;
        ResetCompletionLocked();
    }
    HRESULT failure = S_OK;
    for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst())
        if (const HRESULT hr = f->Pause(); FAILED(hr)) failure = hr;
    state_ = State_Paused;
    if (FAILED(failure)) return failure;
    return WaitForCueLocked(kCueWaitMs);
}

void FilterGraphManager::RecountRenderersLocked()
{
    // A renderer that left a playing graph no longer holds up its completion.
    std::set<LONG_PTR> present;
    for (const Member& m : members_)
        if (IsRenderer(m.filter.Get()) && HasConnectedPin(m.filter.Get(), PINDIR_INPUT)) present.insert(reinterpret_cast<LONG_PTR>(m.filter.Get()));
    bool complete = false;
    {
        std::lock_guard lock(completionMutex_);
        expectedRenderers_ = present.size();
        std::erase_if(completedRenderers_, [&](LONG_PTR r) { return present.count(r) == 0; });
        if (!completionSent_ && expectedRenderers_ > 0 && completedRenderers_.size() >= expectedRenderers_) {
            completionSent_ = true;
            complete = true;
        }
    }
    if (complete) events_.Push(EC_COMPLETE, S_OK, 0);
}

HRESULT FilterGraphManager::RunLocked()
{
    if (state_ == State_Running) return S_OK;
    if (state_ == State_Stopped) {
        const HRESULT paused = PauseLocked();
        if (FAILED(paused)) return paused;
    }
    std::size_t renderers = 0;
    for (const Member& m : members_)
        if (IsRenderer(m.filter.Get()) && HasConnectedPin(m.filter.Get(), PINDIR_INPUT)) ++renderers;
    bool alreadyEnded = false;
    {
        std::lock_guard lock(completionMutex_);
        expectedRenderers_ = renderers;
        alreadyEnded = completionSent_;
    }
    runStart_ = ClockNow(clock_.Get()) + kStartLatency - pausedStreamTime_;
    HRESULT failure = S_OK;
    for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst())
        if (const HRESULT hr = f->Run(runStart_); FAILED(hr)) failure = hr;
    state_ = State_Running;
    // Paused at the end after completing, nothing is left to play: running again completes again at
    // once, rather than run silently with no end.
    if (alreadyEnded) events_.Push(EC_COMPLETE, S_OK, 0);
    return failure;
}

HRESULT FilterGraphManager::StopLocked()
{
    if (state_ == State_Stopped) return S_OK;
    const REFERENCE_TIME position = PositionLocked();
    HRESULT failure = S_OK;
    for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst())
        if (const HRESULT hr = f->Stop(); FAILED(hr)) failure = hr;
    state_ = State_Stopped;
    // The position stays where playback was; the next run starts there.
    segmentStart_ = position;
    pausedStreamTime_ = 0;
    for (const ComPtr<IBaseFilter>& s : Sources()) {
        ComPtr<IMediaPosition> p;
        s->QueryInterface(IID_PPV_ARGS(p.GetAddressOf()));
        p->put_CurrentPosition(static_cast<double>(position) / kUnitsPerSecond);
    }
    ResetCompletionLocked();
    return failure;
}

HRESULT FilterGraphManager::Run()
{
    std::lock_guard lock(graphMutex_);
    const HRESULT hr = RunLocked();
    log_.Write("Run", hr);
    return hr;
}

HRESULT FilterGraphManager::Run(REFERENCE_TIME) { return Run(); }

HRESULT FilterGraphManager::Pause()
{
    std::lock_guard lock(graphMutex_);
    const HRESULT hr = PauseLocked();
    log_.Write("Pause", hr);
    return hr;
}

HRESULT FilterGraphManager::Stop()
{
    std::lock_guard lock(graphMutex_);
    const HRESULT hr = StopLocked();
    log_.Write("Stop", hr);
    return hr;
}

HRESULT FilterGraphManager::StopWhenReady()
{
    std::lock_guard lock(graphMutex_);
    PauseLocked();
    return StopLocked();
}

HRESULT FilterGraphManager::GetState(LONG msTimeout, OAFilterState* state)
{
    if (state == nullptr) return E_POINTER;
    FILTER_STATE s = State_Stopped;
    const HRESULT hr = GetState(msTimeout < 0 ? INFINITE : static_cast<DWORD>(msTimeout), &s);
    *state = s;
    return hr;
}

HRESULT FilterGraphManager::GetState(DWORD msTimeout, FILTER_STATE* state)
{
    if (state == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    *state = state_;
    if (state_ != State_Paused) return S_OK;
    return WaitForCueLocked(msTimeout == INFINITE ? kCueWaitMs * 12 : msTimeout) == S_OK ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

// ---- Events -------------------------------------------------------------------------------

HRESULT FilterGraphManager::Notify(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (code == EC_COMPLETE && defaultCompleteHandling_) {
        // One EC_COMPLETE for the graph, once the last renderer has played out.
        {
            std::lock_guard lock(completionMutex_);
            if (completionSent_) return S_OK;
            completedRenderers_.insert(param2);
            if (completedRenderers_.size() < std::max<std::size_t>(expectedRenderers_, 1)) return S_OK;
            completionSent_ = true;
        }
        events_.Push(EC_COMPLETE, S_OK, 0);
        return S_OK;
    }
    events_.Push(code, param1, param2);
    return S_OK;
}

HRESULT FilterGraphManager::GetEventHandle(OAEVENT*) { return E_NOTIMPL; }

HRESULT FilterGraphManager::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout)
{
    if (code == nullptr || param1 == nullptr || param2 == nullptr) return E_POINTER;
    EventQueue::Event e;
    const HRESULT hr = events_.Pop(&e, msTimeout);
    *code = e.code;
    *param1 = e.param1;
    *param2 = e.param2;
    return hr;
}

HRESULT FilterGraphManager::WaitForCompletion(LONG msTimeout, LONG* code) { return events_.WaitForCompletion(msTimeout, code); }

HRESULT FilterGraphManager::CancelDefaultHandling(LONG code)
{
    if (code != EC_COMPLETE) return S_FALSE;
    defaultCompleteHandling_ = false;
    return S_OK;
}

HRESULT FilterGraphManager::RestoreDefaultHandling(LONG code)
{
    if (code != EC_COMPLETE) return S_FALSE;
    defaultCompleteHandling_ = true;
    return S_OK;
}

HRESULT FilterGraphManager::FreeEventParams(LONG, LONG_PTR, LONG_PTR)
{
    // Our events carry numbers and pointers that stay owned by their senders; nothing to free.
    return S_OK;
}

HRESULT FilterGraphManager::SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData)
{
    const HRESULT hr = events_.SetNotifyWindow(window, message, instanceData);
    log_.Write("SetNotifyWindow", hr);
    return hr;
}

HRESULT FilterGraphManager::SetNotifyFlags(LONG flags) { return events_.SetNotifyFlags(flags); }

HRESULT FilterGraphManager::GetNotifyFlags(LONG* flags)
{
    if (flags == nullptr) return E_POINTER;
    *flags = events_.NotifyFlags();
    return S_OK;
}

// ---- Position -----------------------------------------------------------------------------

REFERENCE_TIME FilterGraphManager::DurationLocked() const
{
    REFERENCE_TIME longest = 0;
    for (const ComPtr<IBaseFilter>& s : Sources()) {
        ComPtr<IMediaPosition> p;
        REFTIME d = 0;
        if (SUCCEEDED(s->QueryInterface(IID_PPV_ARGS(p.GetAddressOf()))) && SUCCEEDED(p->get_Duration(&d)))
            longest = std::max(longest, static_cast<REFERENCE_TIME>(std::llround(d * kUnitsPerSecond)));
    }
    return longest;
}

REFERENCE_TIME FilterGraphManager::StreamTimeLocked() const
{
    if (state_ != State_Running) return pausedStreamTime_;
    return std::max<REFERENCE_TIME>(0, ClockNow(clock_.Get()) - runStart_);
}

REFERENCE_TIME FilterGraphManager::PositionLocked() const
{
    const REFERENCE_TIME p = segmentStart_ + StreamTimeLocked();
    return std::clamp<REFERENCE_TIME>(p, 0, std::max<REFERENCE_TIME>(DurationLocked(), 0));
}

HRESULT FilterGraphManager::get_Duration(REFTIME* length)
{
    if (length == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    if (Sources().empty()) {
        *length = 0;
        return E_NOTIMPL;
    }
    *length = static_cast<double>(DurationLocked()) / kUnitsPerSecond;
    return S_OK;
}

HRESULT FilterGraphManager::get_CurrentPosition(REFTIME* time)
{
    if (time == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    *time = static_cast<double>(PositionLocked()) / kUnitsPerSecond;
    return S_OK;
}

HRESULT FilterGraphManager::put_CurrentPosition(REFTIME time)
{
    if (!std::isfinite(time)) return E_INVALIDARG;
    std::lock_guard lock(graphMutex_);
    const std::vector<ComPtr<IBaseFilter>> sources = Sources();
    if (sources.empty()) return E_NOTIMPL;
    const REFERENCE_TIME target =
        std::clamp<REFERENCE_TIME>(static_cast<REFERENCE_TIME>(std::llround(time * kUnitsPerSecond)), 0, DurationLocked());

    const bool wasRunning = state_ == State_Running;
    if (wasRunning) {
        // Hold the renderers while the sources flush and restart, then run on from the new place.
        for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst()) f->Pause();
    }
    HRESULT hr = S_OK;
    for (const ComPtr<IBaseFilter>& s : sources) {
        ComPtr<IMediaPosition> p;
        s->QueryInterface(IID_PPV_ARGS(p.GetAddressOf()));
        if (const HRESULT r = p->put_CurrentPosition(static_cast<double>(target) / kUnitsPerSecond); FAILED(r)) hr = r;
    }
    segmentStart_ = target;
    pausedStreamTime_ = 0;
    ResetCompletionLocked();
    if (state_ != State_Stopped) {
        const HRESULT cued = WaitForCueLocked(kCueWaitMs);
        if (SUCCEEDED(hr)) hr = cued;
    }
    if (wasRunning) {
        runStart_ = ClockNow(clock_.Get()) + kStartLatency;
        for (const ComPtr<IBaseFilter>& f : FiltersDownstreamFirst()) f->Run(runStart_);
    }
    log_.Write("put_CurrentPosition " + Seconds(static_cast<double>(target) / kUnitsPerSecond), hr);
    return hr;
}

HRESULT FilterGraphManager::get_StopTime(REFTIME* time) { return get_Duration(time); }
HRESULT FilterGraphManager::put_StopTime(REFTIME) { return E_NOTIMPL; }

HRESULT FilterGraphManager::get_PrerollTime(REFTIME* time)
{
    if (time == nullptr) return E_POINTER;
    *time = 0;
    return S_OK;
}

HRESULT FilterGraphManager::put_PrerollTime(REFTIME) { return E_NOTIMPL; }
HRESULT FilterGraphManager::put_Rate(double rate) { return rate == 1.0 ? S_OK : E_NOTIMPL; }

HRESULT FilterGraphManager::get_Rate(double* rate)
{
    if (rate == nullptr) return E_POINTER;
    *rate = 1.0;
    return S_OK;
}

HRESULT FilterGraphManager::CanSeekForward(LONG* canSeek)
{
    if (canSeek == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    *canSeek = Sources().empty() ? OAFALSE : OATRUE;
    return S_OK;
}

HRESULT FilterGraphManager::CanSeekBackward(LONG* canSeek) { return CanSeekForward(canSeek); }

// ---- Volume -------------------------------------------------------------------------------

namespace {
template <class Fn>
HRESULT ForEachAudio(const std::vector<ComPtr<IBaseFilter>>& filters, Fn fn)
{
    HRESULT result = E_NOTIMPL;  // no filter plays sound
    for (const ComPtr<IBaseFilter>& f : filters) {
        ComPtr<IBasicAudio> audio;
        if (FAILED(f->QueryInterface(IID_PPV_ARGS(audio.GetAddressOf())))) continue;
        const HRESULT hr = fn(audio.Get());
        if (result == E_NOTIMPL || FAILED(hr)) result = hr;
    }
    return result;
}
}  // namespace

HRESULT FilterGraphManager::put_Volume(LONG volume)
{
    if (volume < -10000 || volume > 0) return E_INVALIDARG;
    std::lock_guard lock(graphMutex_);
    std::vector<ComPtr<IBaseFilter>> filters;
    for (const Member& m : members_) filters.push_back(m.filter);
    return ForEachAudio(filters, [&](IBasicAudio* a) { return a->put_Volume(volume); });
}

HRESULT FilterGraphManager::get_Volume(LONG* volume)
{
    if (volume == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    for (const Member& m : members_) {
        ComPtr<IBasicAudio> audio;
        if (SUCCEEDED(m.filter->QueryInterface(IID_PPV_ARGS(audio.GetAddressOf())))) return audio->get_Volume(volume);
    }
    return E_NOTIMPL;
}

HRESULT FilterGraphManager::put_Balance(LONG balance)
{
    if (balance < -10000 || balance > 10000) return E_INVALIDARG;
    std::lock_guard lock(graphMutex_);
    std::vector<ComPtr<IBaseFilter>> filters;
    for (const Member& m : members_) filters.push_back(m.filter);
    return ForEachAudio(filters, [&](IBasicAudio* a) { return a->put_Balance(balance); });
}

HRESULT FilterGraphManager::get_Balance(LONG* balance)
{
    if (balance == nullptr) return E_POINTER;
    std::lock_guard lock(graphMutex_);
    for (const Member& m : members_) {
        ComPtr<IBasicAudio> audio;
        if (SUCCEEDED(m.filter->QueryInterface(IID_PPV_ARGS(audio.GetAddressOf())))) return audio->get_Balance(balance);
    }
    return E_NOTIMPL;
}

}  // namespace kestrine::platform
