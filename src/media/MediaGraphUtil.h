#pragma once
// Lists of a graph's filters and of a filter's pins. Each holds a reference to every item until it is
// freed, so the items stay valid while the graph changes under the list (filters removed, pins
// disconnected).
#include "media/MediaErrors.h"
#include "platform/graph/GraphInterfaces.h"

#include <cstddef>
#include <vector>

namespace kestrine::media {

// Items kept by their IUnknown identity, so removal finds an item whatever interface it is given by.
class TInterfaceList {
public:
    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    void Add(platform::IUnknown* item);
    // Removes the first item that is the same object as item; gives its former index, or -1.
    int Remove(platform::IUnknown* item);
    void Delete(std::size_t index);
    void Clear() { items_.clear(); }
    platform::IUnknown* Item(std::size_t index) const;

protected:
    // Item index as interface I; EInvalidCast when it does not offer it, std::out_of_range past the end.
    template <class I>
    platform::ComPtr<I> ItemAs(std::size_t index) const
    {
        platform::ComPtr<I> out;
        if (platform::FAILED(Item(index)->QueryInterface(I::kIid, reinterpret_cast<void**>(out.GetAddressOf()))) || !out) throw EInvalidCast();
        return out;
    }

private:
    std::vector<platform::ComPtr<platform::IUnknown>> items_;
};

// The filters of a graph, in the order its filter enumeration gives them.
class TFilterList : public TInterfaceList {
public:
    TFilterList() = default;
    explicit TFilterList(platform::IFilterGraph* graph);
    // Empties the list and reads the graph's filters again (nothing for a null graph).
    void Update(platform::IFilterGraph* graph);
    platform::ComPtr<platform::IBaseFilter> Items(std::size_t index) const { return ItemAs<platform::IBaseFilter>(index); }
};

// The pins of a filter, in the order its pin enumeration gives them.
class TPinList : public TInterfaceList {
public:
    TPinList() = default;
    explicit TPinList(platform::IBaseFilter* filter);
    void Update(platform::IBaseFilter* filter);
    platform::ComPtr<platform::IPin> Items(std::size_t index) const { return ItemAs<platform::IPin>(index); }
};

}  // namespace kestrine::media
