#include "platform/com/ComRuntime.h"

#include "platform/com/WideString.h"
#include "platform/graph/GraphClasses.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace kestrine::platform {
namespace {

thread_local int tInitCount = 0;

// The process's class table, the stand-in for the system registry of in-process servers.
class ClassTable {
public:
    static ClassTable& Instance()
    {
        static ClassTable table;
        return table;
    }

    void Set(REFCLSID clsid, ClassFactory factory)
    {
        std::lock_guard lock(mutex_);
        classes_[clsid] = std::move(factory);
    }
    bool Remove(REFCLSID clsid)
    {
        std::lock_guard lock(mutex_);
        return classes_.erase(clsid) > 0;
    }
    ClassFactory Find(REFCLSID clsid)
    {
        std::lock_guard lock(mutex_);
        const auto it = classes_.find(clsid);
        return it == classes_.end() ? ClassFactory() : it->second;
    }

private:
    ClassTable()
    {
        RegisterBuiltInGraphClasses([this](REFCLSID clsid, ClassFactory factory) { classes_[clsid] = std::move(factory); });
    }

    std::mutex mutex_;
    std::unordered_map<CLSID, ClassFactory> classes_;
};

}  // namespace

HRESULT CoInitialize(void* reserved)
{
    if (reserved != nullptr) return E_INVALIDARG;
    return tInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (tInitCount > 0) --tInitCount;
}

bool IsComInitializedOnThisThread() { return tInitCount > 0; }

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (tInitCount == 0) return CO_E_NOTINITIALIZED;
    if ((clsContext & CLSCTX_INPROC) == 0) return REGDB_E_CLASSNOTREG;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const ClassFactory factory = ClassTable::Instance().Find(clsid);
    if (!factory) return REGDB_E_CLASSNOTREG;
    try {
        const HRESULT hr = factory(riid, ppv);
        if (FAILED(hr)) *ppv = nullptr;
        return hr;
    } catch (const std::bad_alloc&) {
        *ppv = nullptr;
        return E_OUTOFMEMORY;
    }
}

void RegisterComClass(REFCLSID clsid, ClassFactory factory) { ClassTable::Instance().Set(clsid, std::move(factory)); }

bool UnregisterComClass(REFCLSID clsid) { return ClassTable::Instance().Remove(clsid); }

void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void CoTaskMemFree(void* p) { std::free(p); }

LPWSTR CoTaskStrDup(LPCWSTR text)
{
    const std::size_t n = WideLength(text);
    auto* out = static_cast<LPWSTR>(CoTaskMemAlloc((n + 1) * sizeof(WCHAR)));
    if (out == nullptr) return nullptr;
    if (n) std::memcpy(out, text, n * sizeof(WCHAR));
    out[n] = 0;
    return out;
}

}  // namespace kestrine::platform
