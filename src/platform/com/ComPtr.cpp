#include "platform/com/ComPtr.h"

namespace kestrine::platform {

bool IsSameObject(IUnknown* a, IUnknown* b)
{
    if (a == nullptr || b == nullptr) return a == b;
    ComPtr<IUnknown> ua;
    ComPtr<IUnknown> ub;
    if (FAILED(a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ua.GetAddressOf())))) return false;
    if (FAILED(b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ub.GetAddressOf())))) return false;
    return ua.Get() == ub.Get();
}

}  // namespace kestrine::platform
