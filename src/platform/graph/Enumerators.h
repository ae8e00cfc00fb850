#pragma once
// Enumerators over a snapshot of interface pointers (pins, filters) or media types.
#include "platform/com/ComObject.h"
#include "platform/graph/FilterInterfaces.h"

#include <functional>
#include <vector>

namespace kestrine::platform {

// IEnum is IEnumPins or IEnumFilters, Item the interface they hand out. The list comes from lister,
// taken when the enumerator is made and again at each Reset.
template <class IEnum, class Item>
class InterfaceEnumerator final : public ComObject<IEnum> {
public:
    using Lister = std::function<std::vector<ComPtr<Item>>()>;
    explicit InterfaceEnumerator(Lister lister) : lister_(std::move(lister)), items_(lister_()) {}
    InterfaceEnumerator(Lister lister, std::vector<ComPtr<Item>> items, std::size_t position)
        : lister_(std::move(lister)), items_(std::move(items)), position_(position)
    {
    }

    HRESULT Next(ULONG count, Item** out, ULONG* fetched) override
    {
        if (out == nullptr) return E_POINTER;
        if (fetched == nullptr && count != 1) return E_POINTER;
        ULONG given = 0;
        while (given < count && position_ < items_.size()) {
            items_[position_++].CopyTo(&out[given]);
            ++given;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        const std::size_t left = items_.size() - position_;
        if (count > left) {
            position_ = items_.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    HRESULT Reset() override
    {
        items_ = lister_();
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnum** copy) override
    {
        if (copy == nullptr) return E_POINTER;
        *copy = MakeComObject<InterfaceEnumerator>(lister_, items_, position_).Detach();
        return S_OK;
    }

private:
    Lister lister_;
    std::vector<ComPtr<Item>> items_;
    std::size_t position_ = 0;
};

class MediaTypeEnumerator final : public ComObject<IEnumMediaTypes> {
public:
    explicit MediaTypeEnumerator(std::vector<AM_MEDIA_TYPE> types, std::size_t position = 0)
        : types_(std::move(types)), position_(position)
    {
    }
    HRESULT Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        if (out == nullptr) return E_POINTER;
        if (fetched == nullptr && count != 1) return E_POINTER;
        ULONG given = 0;
        while (given < count && position_ < types_.size()) {
            out[given] = CreateMediaType(types_[position_++]);
            if (out[given] == nullptr) break;
            ++given;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        const std::size_t left = types_.size() - position_;
        position_ = count > left ? types_.size() : position_ + count;
        return count > left ? S_FALSE : S_OK;
    }
    HRESULT Reset() override
    {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumMediaTypes** copy) override
    {
        if (copy == nullptr) return E_POINTER;
        *copy = MakeComObject<MediaTypeEnumerator>(types_, position_).Detach();
        return S_OK;
    }

private:
    std::vector<AM_MEDIA_TYPE> types_;
    std::size_t position_ = 0;
};

// All types an enumerator gives, in order.
std::vector<AM_MEDIA_TYPE> ListMediaTypes(IPin* pin);

// All pins of a filter, in order.
std::vector<ComPtr<IPin>> ListPins(IBaseFilter* filter);

}  // namespace kestrine::platform
