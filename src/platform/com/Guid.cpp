#include "platform/com/Guid.h"

#include <cstdio>
#include <cstring>

namespace kestrine::platform {

std::string GuidToString(const GUID& g)
{
    char buffer[39];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3),
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buffer;
}

bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

}  // namespace kestrine::platform

std::size_t std::hash<kestrine::platform::GUID>::operator()(const kestrine::platform::GUID& g) const noexcept
{
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    std::memcpy(&a, &g, 8);
    std::memcpy(&b, reinterpret_cast<const unsigned char*>(&g) + 8, 8);
    return std::hash<std::uint64_t>{}(a * 0x9E3779B97F4A7C15ull ^ b);
}
