#include "media/MediaGraph.h"

#include <algorithm>

namespace kestrine::media {

using platform::ComPtr;

void TFilterGraph::InsertLinkedFilter(IGraphFilterProvider* provider)
{
    if (provider == nullptr) return;
    if (!linkedFilters_) linkedFilters_ = std::make_unique<ProviderList>();
    linkedFilters_->push_back(ComPtr<IGraphFilterProvider>(provider));
    if (active_) AddLinkedFilterToGraph(provider);
}

void TFilterGraph::RemoveLinkedFilter(IGraphFilterProvider* provider)
{
    if (!linkedFilters_ || provider == nullptr) return;
    const auto it = std::find_if(linkedFilters_->begin(), linkedFilters_->end(), [&](const auto& p) { return p.Get() == provider; });
    // A provider that was never linked has no filter of ours to take out.
    if (it == linkedFilters_->end()) return;
    const ComPtr<IGraphFilterProvider> removed = *it;
    linkedFilters_->erase(it);
    if (linkedFilters_->empty()) linkedFilters_.reset();
    if (active_) RemoveLinkedFilterFromGraph(removed.Get());
}

void TFilterGraph::AddLinkedFilterToGraph(IGraphFilterProvider* provider)
{
    provider->FilterNotify(kFilterBeforeAdd, 0);
    std::string name;
    provider->GetFilterName(&name);
    ComPtr<platform::IBaseFilter> filter;
    provider->GetFilter(filter.GetAddressOf());
    if (graphManager_ && filter) graphManager_->AddFilter(filter.Get(), platform::ToWide(name).c_str());
    provider->FilterNotify(kFilterAdded, 0);
}

void TFilterGraph::RemoveLinkedFilterFromGraph(IGraphFilterProvider* provider)
{
    provider->FilterNotify(kFilterBeforeRemove, 0);
    ComPtr<platform::IBaseFilter> filter;
    provider->GetFilter(filter.GetAddressOf());
    if (graphManager_ && filter) graphManager_->RemoveFilter(filter.Get());
    provider->FilterNotify(kFilterRemoved, 0);
}

void TFilterGraph::AddGraphListener(IGraphListener* listener)
{
    if (listener == nullptr) return;
    if (!listeners_) listeners_ = std::make_unique<ListenerList>();
    listeners_->push_back(ComPtr<IGraphListener>(listener));
}

void TFilterGraph::RemoveGraphListener(IGraphListener* listener)
{
    if (!listeners_) return;
    const auto it = std::find_if(listeners_->begin(), listeners_->end(), [&](const auto& l) { return l.Get() == listener; });
    if (it != listeners_->end()) listeners_->erase(it);
    if (listeners_->empty()) listeners_.reset();
}

void TFilterGraph::NotifyListenersOfControl(LONG operation, LONG value)
{
    ForEachListener([&](IGraphListener& listener) { listener.GraphControlNotify(operation, value); });
}

void TFilterGraph::NotifyListenersOfEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    ForEachListener([&](IGraphListener& listener) { listener.GraphEventNotify(code, param1, param2); });
}

void TFilterGraph::ForEachListener(const std::function<void(IGraphListener&)>& call)
{
    if (!listeners_) return;
    // The listeners of the moment, in order. One that unlinks during the walk is not called after
    // that (it may be gone); one that links during it hears from the next notification on.
    const ListenerList listeners = *listeners_;
    for (const auto& listener : listeners) {
        if (!listeners_ || std::find(listeners_->begin(), listeners_->end(), listener) == listeners_->end()) continue;
        call(*listener);
    }
}

void TFilterGraph::ForEachLinkedFilter(const std::function<void(IGraphFilterProvider&)>& call)
{
    if (!linkedFilters_) return;
    const ProviderList providers = *linkedFilters_;
    for (const auto& provider : providers) {
        if (!linkedFilters_ || std::find(linkedFilters_->begin(), linkedFilters_->end(), provider) == linkedFilters_->end()) continue;
        call(*provider);
    }
}

}  // namespace kestrine::media
