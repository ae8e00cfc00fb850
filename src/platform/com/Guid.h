#pragma once
// Globally unique identifiers in the Windows layout, written and read in the "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" form.
#include "platform/com/Types.h"

#include <compare>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrine::platform {

struct GUID {
    DWORD Data1 = 0;
    WORD Data2 = 0;
    WORD Data3 = 0;
    BYTE Data4[8] = {};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

namespace detail {
constexpr int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr std::optional<GUID> Parse(std::string_view text)
{
    // Braces are optional on input; the 36-character body is not.
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return std::nullopt;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;
    std::uint64_t parts[5] = {};
    const std::size_t starts[5] = {0, 9, 14, 19, 24};
    const std::size_t lengths[5] = {8, 4, 4, 4, 12};
    for (int p = 0; p < 5; ++p) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < lengths[p]; ++i) {
            const int d = HexDigit(text[starts[p] + i]);
            if (d < 0) return std::nullopt;
            value = (value << 4) | static_cast<std::uint64_t>(d);
        }
        parts[p] = value;
    }
    GUID g;
    g.Data1 = static_cast<DWORD>(parts[0]);
    g.Data2 = static_cast<WORD>(parts[1]);
    g.Data3 = static_cast<WORD>(parts[2]);
    g.Data4[0] = static_cast<BYTE>(parts[3] >> 8);
    g.Data4[1] = static_cast<BYTE>(parts[3]);
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<BYTE>(parts[4] >> (8 * (5 - i)));
    return g;
}
}  // namespace detail

// Parses "{...}" or the bare 36-character form, any case; nothing on malformed text.
constexpr std::optional<GUID> ParseGuid(std::string_view text) { return detail::Parse(text); }

// For identifiers written in the source: malformed text fails to compile.
consteval GUID MakeGuid(std::string_view text)
{
    const auto g = detail::Parse(text);
    if (!g) throw "malformed GUID literal";
    return *g;
}

// "{E436EBB3-524F-11CE-9F53-0020AF0BA770}": braces, upper case.
std::string GuidToString(const GUID& g);

bool IsEqualGUID(REFGUID a, REFGUID b);

}  // namespace kestrine::platform

template <>
struct std::hash<kestrine::platform::GUID> {
    std::size_t operator()(const kestrine::platform::GUID& g) const noexcept;
};
