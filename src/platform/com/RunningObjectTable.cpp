#include "platform/com/RunningObjectTable.h"

#include "platform/com/ComObject.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"

#include <map>
#include <mutex>

namespace kestrine::platform {
namespace {

class ItemMoniker final : public ComObject<IMoniker> {
public:
    explicit ItemMoniker(WideString name) : name_(std::move(name)) {}

    HRESULT GetDisplayName(IUnknown*, IMoniker*, LPOLESTR* displayName) override
    {
        if (displayName == nullptr) return E_POINTER;
        *displayName = CoTaskStrDup(name_.c_str());
        return *displayName ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT IsEqual(IMoniker* other) override
    {
        if (other == nullptr) return E_POINTER;
        LPOLESTR otherName = nullptr;
        if (FAILED(other->GetDisplayName(nullptr, nullptr, &otherName))) return S_FALSE;
        const bool same = name_ == WideString(otherName);
        CoTaskMemFree(otherName);
        return same ? S_OK : S_FALSE;
    }

    const WideString& Name() const { return name_; }

private:
    WideString name_;
};

WideString DisplayNameOf(IMoniker* moniker)
{
    LPOLESTR text = nullptr;
    if (moniker == nullptr || FAILED(moniker->GetDisplayName(nullptr, nullptr, &text))) return {};
    WideString name(text);
    CoTaskMemFree(text);
    return name;
}

class RunningObjectTable final : public ComObject<IRunningObjectTable> {
public:
    HRESULT Register(DWORD, IUnknown* object, IMoniker* name, DWORD* cookie) override
    {
        if (object == nullptr || name == nullptr || cookie == nullptr) return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        WideString display = DisplayNameOf(name);
        bool taken = false;
        for (const auto& [c, entry] : entries_) taken = taken || entry.name == display;
        // Cookies are never reused, so a stale cookie cannot revoke someone else's registration.
        const DWORD newCookie = nextCookie_++;
        entries_[newCookie] = Entry{std::move(display), ComPtr<IUnknown>(object)};
        *cookie = newCookie;
        return taken ? MK_S_MONIKERALREADYREGISTERED : S_OK;
    }
    HRESULT Revoke(DWORD cookie) override
    {
        ComPtr<IUnknown> released;  // released after the lock, since the object may use the table when it goes
        {
            std::lock_guard lock(mutex_);
            const auto it = entries_.find(cookie);
            if (it == entries_.end()) return E_INVALIDARG;
            released = std::move(it->second.object);
            entries_.erase(it);
        }
        return S_OK;
    }
    HRESULT IsRunning(IMoniker* name) override
    {
        if (name == nullptr) return E_INVALIDARG;
        const WideString display = DisplayNameOf(name);
        std::lock_guard lock(mutex_);
        for (const auto& [c, entry] : entries_)
            if (entry.name == display) return S_OK;
        return S_FALSE;
    }
    HRESULT GetObject(IMoniker* name, IUnknown** object) override
    {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (name == nullptr) return E_INVALIDARG;
        const WideString display = DisplayNameOf(name);
        std::lock_guard lock(mutex_);
        for (const auto& [c, entry] : entries_) {
            if (entry.name == display) return entry.object.CopyTo(object);
        }
        return MK_E_UNAVAILABLE;
    }

private:
    struct Entry {
        WideString name;
        ComPtr<IUnknown> object;
    };
    std::mutex mutex_;
    std::map<DWORD, Entry> entries_;
    DWORD nextCookie_ = 1;
};

}  // namespace

HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** table)
{
    if (table == nullptr) return E_POINTER;
    *table = nullptr;
    if (reserved != 0) return E_INVALIDARG;
    // One table per process, alive for the whole run like the system's.
    static ComPtr<RunningObjectTable> instance = MakeComObject<RunningObjectTable>();
    *table = instance.Get();
    (*table)->AddRef();
    return S_OK;
}

HRESULT CreateItemMoniker(LPCOLESTR delimiter, LPCOLESTR item, IMoniker** moniker)
{
    if (moniker == nullptr) return E_POINTER;
    *moniker = nullptr;
    if (item == nullptr) return E_INVALIDARG;
    WideString name = delimiter ? WideString(delimiter) : WideString();
    name += item;
    *moniker = MakeComObject<ItemMoniker>(std::move(name)).Detach();
    return S_OK;
}

}  // namespace kestrine::platform
