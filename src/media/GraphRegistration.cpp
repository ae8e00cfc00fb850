#include "media/GraphRegistration.h"

#include "platform/com/RunningObjectTable.h"
#include "platform/com/WideString.h"

#include <cinttypes>
#include <cstdio>
#include <unistd.h>

namespace kestrine::media {

using platform::ComPtr;
using platform::HRESULT;

std::string GraphInspectionName(const void* graph, unsigned processId)
{
    char text[80] = {};
    std::snprintf(text, sizeof text, "FilterGraph %0*" PRIXPTR " pid %X", static_cast<int>(2 * sizeof(void*)),
                  reinterpret_cast<std::uintptr_t>(graph), processId);
    return text;
}

HRESULT RegisterGraphForInspection(platform::IUnknown* graph, platform::DWORD* cookie)
{
    if (cookie) *cookie = 0;
    ComPtr<platform::IRunningObjectTable> table;
    HRESULT hr = platform::GetRunningObjectTable(0, table.GetAddressOf());
    if (platform::FAILED(hr)) return hr;
    const platform::WideString name = platform::ToWide(GraphInspectionName(graph, static_cast<unsigned>(::getpid())));
    ComPtr<platform::IMoniker> moniker;
    hr = platform::CreateItemMoniker(u"!", name.c_str(), moniker.GetAddressOf());
    if (platform::SUCCEEDED(hr)) {
        platform::DWORD registered = 0;
        hr = table->Register(0, graph, moniker.Get(), &registered);
        if (platform::SUCCEEDED(hr) && cookie) *cookie = registered;
    }
    return hr;
}

void RevokeGraphRegistration(platform::DWORD cookie)
{
    ComPtr<platform::IRunningObjectTable> table;
    if (platform::SUCCEEDED(platform::GetRunningObjectTable(0, table.GetAddressOf()))) table->Revoke(cookie);
}

}  // namespace kestrine::media
