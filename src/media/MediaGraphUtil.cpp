#include "media/MediaGraphUtil.h"

#include <stdexcept>

namespace kestrine::media {

using platform::ComPtr;
using platform::IUnknown;

namespace {

// Identity of an object: its IUnknown, or the pointer itself when it will not say.
ComPtr<IUnknown> IdentityOf(IUnknown* item)
{
    if (item == nullptr) return nullptr;
    ComPtr<IUnknown> identity;
    if (platform::SUCCEEDED(item->QueryInterface(platform::IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()))) && identity) return identity;
    return ComPtr<IUnknown>(item);
}

}  // namespace

void TInterfaceList::Add(IUnknown* item) { items_.push_back(IdentityOf(item)); }

int TInterfaceList::Remove(IUnknown* item)
{
    if (item == nullptr) return -1;
    const ComPtr<IUnknown> identity = IdentityOf(item);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == identity) {
            items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TInterfaceList::Delete(std::size_t index)
{
    if (index >= items_.size()) throw std::out_of_range("List index out of bounds.");
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

IUnknown* TInterfaceList::Item(std::size_t index) const
{
    if (index >= items_.size()) throw std::out_of_range("List index out of bounds.");
    if (!items_[index]) throw EInvalidCast();
    return items_[index].Get();
}

TFilterList::TFilterList(platform::IFilterGraph* graph) { Update(graph); }

void TFilterList::Update(platform::IFilterGraph* graph)
{
    Clear();
    if (graph == nullptr) return;
    ComPtr<platform::IEnumFilters> filters;
    if (platform::FAILED(graph->EnumFilters(filters.GetAddressOf())) || !filters) return;
    for (;;) {
        ComPtr<platform::IBaseFilter> filter;
        if (filters->Next(1, filter.GetAddressOf(), nullptr) != platform::S_OK) break;
        Add(filter.Get());
    }
}

TPinList::TPinList(platform::IBaseFilter* filter) { Update(filter); }

void TPinList::Update(platform::IBaseFilter* filter)
{
    Clear();
    if (filter == nullptr) return;
    ComPtr<platform::IEnumPins> pins;
    if (platform::FAILED(filter->EnumPins(pins.GetAddressOf())) || !pins) return;
    for (;;) {
        ComPtr<platform::IPin> pin;
        if (pins->Next(1, pin.GetAddressOf(), nullptr) != platform::S_OK) break;
        Add(pin.Get());
    }
}

}  // namespace kestrine::media
