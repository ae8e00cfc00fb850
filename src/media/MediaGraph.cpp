#include "media/MediaGraph.h"

#include "media/ComponentInterfaces.h"
#include "media/GraphLogFile.h"
#include "media/GraphRegistration.h"
#include "platform/GuardedApplication.h"
#include "platform/com/ComRuntime.h"
#include "platform/graph/EventCodes.h"

#include <exception>

namespace kestrine::media {

using platform::ComPtr;
using platform::HRESULT;

TFilterGraph::TFilterGraph(QObject* owner) : QObject(owner)
{
    eventWindow_ = std::make_unique<platform::MessageWindow>(
        "TFilterGraphEvents", std::string(),
        [this](platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) { return EventWindowProcedure(message, wParam, lParam); });
}

TFilterGraph::~TFilterGraph()
{
    try {
        SetActive(false);
    } catch (...) {
        // A provider or listener failed while the graph was being taken down; nobody is left to
        // catch it, so it is reported, and what deactivation did not get to is undone here.
        platform::ShowEscapedException(std::current_exception());
        if (mediaEvents_) mediaEvents_->SetNotifyFlags(platform::AM_MEDIAEVENT_NONOTIFY);
        mediaEvents_.Reset();
        if (rotCookie_ != 0) RevokeGraphRegistration(rotCookie_);
        rotCookie_ = 0;
        CloseLog();
        graphManager_.Reset();
        captureBuilder_.Reset();
        dvdBuilder_.Reset();
        active_ = false;
    }
    eventWindow_.reset();
    linkedFilters_.reset();
    listeners_.reset();
}

platform::HWND TFilterGraph::EventWindow() const { return eventWindow_ ? eventWindow_->Handle() : 0; }

void TFilterGraph::SetActive(bool value)
{
    if (value == active_) return;
    if (value) Activate();
    else Deactivate();
}

void TFilterGraph::Activate()
{
    using namespace platform;
    switch (mode_) {
    case TGraphMode::gmNormal:
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                         reinterpret_cast<void**>(graphManager_.ReleaseAndGetAddressOf()));
        break;
    case TGraphMode::gmCapture:
        CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                         reinterpret_cast<void**>(captureBuilder_.ReleaseAndGetAddressOf()));
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                         reinterpret_cast<void**>(graphManager_.ReleaseAndGetAddressOf()));
        if (captureBuilder_ && graphManager_) captureBuilder_->SetFiltergraph(graphManager_.Get());
        break;
    case TGraphMode::gmDVD: {
        CoCreateInstance(CLSID_DvdGraphBuilder, nullptr, CLSCTX_INPROC_SERVER, IID_IDvdGraphBuilder,
                         reinterpret_cast<void**>(dvdBuilder_.ReleaseAndGetAddressOf()));
        ComPtr<IGraphBuilder> builder;
        if (dvdBuilder_) dvdBuilder_->GetFiltergraph(builder.GetAddressOf());
        if (builder) graphManager_ = builder.Query<IFilterGraph2>();
        break;
    }
    }
    if (!graphManager_) {
        // Without a graph manager nothing could work (the runtime is not initialised on this thread,
        // or a class is missing): the component stays inactive, as every operation then expects.
        captureBuilder_.Reset();
        dvdBuilder_.Reset();
        return;
    }
    active_ = true;

    mediaEvents_ = Query<IMediaEventEx>();
    if (mediaEvents_) {
        mediaEvents_->SetNotifyFlags(0);
        mediaEvents_->SetNotifyWindow(static_cast<OAHWND>(EventWindow()), static_cast<LONG>(WM_GRAPHNOTIFY),
                                      reinterpret_cast<LONG_PTR>(mediaEvents_.Get()));
    }
    SetGraphEdit(graphEdit_);
    SetLogFile(logFile_);

    ForEachLinkedFilter([this](IGraphFilterProvider& provider) { AddLinkedFilterToGraph(&provider); });
    if (OnActivate) OnActivate(this);
    NotifyListenersOfControl(kControlActivation, 1);
}

void TFilterGraph::Deactivate()
{
    NotifyListenersOfControl(kControlActivation, 0);
    ForEachLinkedFilter([this](IGraphFilterProvider& provider) { RemoveLinkedFilterFromGraph(&provider); });
    if (mediaEvents_) {
        mediaEvents_->SetNotifyFlags(platform::AM_MEDIAEVENT_NONOTIFY);
        mediaEvents_.Reset();
    }
    if (rotCookie_ != 0) {
        RevokeGraphRegistration(rotCookie_);
        rotCookie_ = 0;
    }
    CloseLog();
    graphManager_.Reset();
    captureBuilder_.Reset();
    dvdBuilder_.Reset();
    active_ = false;
}

void TFilterGraph::CloseLog()
{
    if (graphManager_) graphManager_->SetLogFile(0);
    logStream_.reset();
}

void TFilterGraph::SetMode(TGraphMode value)
{
    if (value == mode_) return;
    const bool wasActive = active_;
    SetActive(false);
    mode_ = value;
    SetActive(wasActive);
}

void TFilterGraph::SetGraphEdit(bool value)
{
    if (!value) {
        if (rotCookie_ != 0) {
            RevokeGraphRegistration(rotCookie_);
            rotCookie_ = 0;
        }
    } else if (rotCookie_ == 0 && active_ && graphManager_) {
        RegisterGraphForInspection(graphManager_.Get(), &rotCookie_);
    }
    graphEdit_ = value;
}

void TFilterGraph::SetLogFile(const std::string& path)
{
    if (active_) {
        CloseLog();
        if (!path.empty()) {
            auto file = GraphLogFile::Create(path);
            if (!file) {
                // Refused quietly: no log, and the property keeps the path it had.
                if (graphManager_) graphManager_->SetLogFile(0);
                return;
            }
            logStream_ = std::move(file);
            if (graphManager_) graphManager_->SetLogFile(static_cast<platform::DWORD_PTR>(logStream_->Descriptor()));
        }
    }
    logFile_ = path;
}

void TFilterGraph::Loaded()
{
    if (autoCreate_) SetActive(true);
}

HRESULT TFilterGraph::QueryInterface(platform::REFIID riid, void** ppv)
{
    if (ppv == nullptr) return platform::E_POINTER;
    *ppv = nullptr;
    if (riid == platform::IID_IUnknown) {
        *ppv = static_cast<platform::IUnknown*>(this);
        return platform::S_OK;
    }
    HRESULT hr = platform::E_NOINTERFACE;
    if (!active_) return hr;
    const auto found = [&](HRESULT result) {
        hr = result;
        if (platform::SUCCEEDED(result) && *ppv != nullptr) return true;
        *ppv = nullptr;
        return false;
    };
    switch (mode_) {
    case TGraphMode::gmNormal:
        break;
    case TGraphMode::gmCapture:
        if (captureBuilder_ && found(captureBuilder_->QueryInterface(riid, ppv))) return hr;
        break;
    case TGraphMode::gmDVD:
        if (dvdBuilder_ && found(dvdBuilder_->QueryInterface(riid, ppv))) return hr;
        if (dvdBuilder_ && found(dvdBuilder_->GetDvdInterface(riid, ppv))) return hr;
        break;
    }
    if (graphManager_) found(graphManager_->QueryInterface(riid, ppv));
    return hr;
}

platform::ULONG TFilterGraph::AddRef() { return kUncounted; }
platform::ULONG TFilterGraph::Release() { return kUncounted; }

}  // namespace kestrine::media
