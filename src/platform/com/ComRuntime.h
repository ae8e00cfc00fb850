#pragma once
// The object runtime: per-thread initialisation, creation of our classes by class identifier,
// and task memory for strings handed out through out parameters.
#include "platform/com/ComObject.h"

#include <cstddef>
#include <functional>

namespace kestrine::platform {

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// S_OK on a thread's first call, S_FALSE on each nested one; each success wants one CoUninitialize.
// reserved must be null.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// Whether the calling thread is initialised (for tests and for diagnostics).
bool IsComInitializedOnThisThread();

// Makes a new object of the class and gives its interface riid. The calling thread must be
// initialised; aggregation (outer != null) is not supported.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv);

template <class I>
HRESULT CoCreateInstance(REFCLSID clsid, ComPtr<I>* out)
{
    if (out == nullptr) return E_POINTER;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIid, reinterpret_cast<void**>(out->ReleaseAndGetAddressOf()));
}

// A class's factory: makes one object and answers it for riid, like IClassFactory::CreateInstance.
using ClassFactory = std::function<HRESULT(REFIID riid, void** ppv)>;

// Adds or replaces a class. Thread-safe; the built-in graph classes are present from the first use.
void RegisterComClass(REFCLSID clsid, ClassFactory factory);
// Removes a class; gives whether it was there.
bool UnregisterComClass(REFCLSID clsid);

// Convenience for factories: creates T and queries it.
template <class T>
HRESULT CreateAndQuery(REFIID riid, void** ppv)
{
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto object = MakeComObject<T>();
    return object->QueryInterface(riid, ppv);
}

// Memory that crosses an interface boundary (strings from QueryId, QueryVendorInfo, GetDisplayName).
void* CoTaskMemAlloc(std::size_t bytes);
void CoTaskMemFree(void* p);

// A copy of a zero-terminated wide string in task memory, or null when out of memory.
LPWSTR CoTaskStrDup(LPCWSTR text);

}  // namespace kestrine::platform
