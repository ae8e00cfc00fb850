#include "media/MediaGraph.h"
#include "media/MediaGraphUtil.h"

namespace kestrine::media {

using platform::ComPtr;
using platform::HRESULT;

bool TFilterGraph::Play()
{
    const auto control = Query<platform::IMediaControl>();
    if (!control) return false;
    NotifyListenersOfControl(kControlPlay, 0);
    CheckMediaResult(control->Run());
    return true;
}

bool TFilterGraph::Pause()
{
    const auto control = Query<platform::IMediaControl>();
    if (!control) return false;
    NotifyListenersOfControl(kControlPause, 0);
    // S_FALSE means the renderers are still cueing: no error, but not paused yet either.
    return CheckMediaResult(control->Pause()) == platform::S_OK;
}

bool TFilterGraph::Stop()
{
    const auto control = Query<platform::IMediaControl>();
    if (!control) return false;
    NotifyListenersOfControl(kControlStop, 0);
    return CheckMediaResult(control->Stop()) == platform::S_OK;
}

HRESULT TFilterGraph::RenderMediaFile(const platform::WideString& path)
{
    if (!graphManager_) return platform::S_FALSE;
    const ComPtr<platform::IFilterGraph2> graph = graphManager_;
    NotifyListenersOfControl(kControlRenderStart, 0);
    const HRESULT hr = CheckMediaResult(graph->RenderFile(path.c_str(), nullptr));
    NotifyListenersOfControl(kControlRenderDone, 0);
    return hr;
}

void TFilterGraph::DisconnectAllPins()
{
    if (!graphManager_) return;
    const TFilterList filters(graphManager_.Get());
    for (std::size_t f = 0; f < filters.Count(); ++f) {
        const TPinList pins(filters.Items(f).Get());
        for (std::size_t p = 0; p < pins.Count(); ++p) CheckMediaResult(pins.Items(p)->Disconnect());
    }
}

void TFilterGraph::EmptyGraph()
{
    if (!graphManager_) return;
    const ComPtr<platform::IFilterGraph2> graph = graphManager_;
    Stop();
    DisconnectAllPins();
    TFilterList filters(graph.Get());
    if (linkedFilters_) {
        const auto providers = *linkedFilters_;  // a provider asked for its filter may unlink itself
        for (const auto& provider : providers) {
            ComPtr<platform::IBaseFilter> linked;
            provider->GetFilter(linked.GetAddressOf());
            if (linked) filters.Remove(linked.Get());
        }
    }
    for (std::size_t i = 0; i < filters.Count(); ++i) CheckMediaResult(graph->RemoveFilter(filters.Items(i).Get()));
}

std::optional<int> TFilterGraph::ReadAudioVolume()
{
    const auto audio = Query<platform::IBasicAudio>();
    if (!audio) return std::nullopt;
    platform::LONG volume = -10000;
    // A graph with nothing audible answers with a failure.
    if (platform::FAILED(audio->get_Volume(&volume))) return std::nullopt;
    return static_cast<int>(volume) + 10000;
}

void TFilterGraph::SetAudioVolume(int volume)
{
    const auto audio = Query<platform::IBasicAudio>();
    if (!audio) return;
    audio->put_Volume(static_cast<platform::LONG>(volume - 10000));
}

}  // namespace kestrine::media
