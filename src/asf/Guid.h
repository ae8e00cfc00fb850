#pragma once
// A 16-byte GUID exactly as it is stored in an ASF file.
//
// The bytes stay in file order (the first three groups little-endian, the last two as written),
// so comparing and copying need no conversion; only the text form reorders them.
//   constexpr Guid g = Guid::FromText("75B22630-668E-11CF-A6D9-00AA0062CE6C");
//   std::optional<Guid> p = Guid::Parse(userText);   // nullopt on malformed text
//   g.ToString() == "75B22630-668E-11CF-A6D9-00AA0062CE6C"
#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrine::asf {

struct Guid {
    std::array<std::uint8_t, 16> bytes{};

    friend constexpr bool operator==(const Guid&, const Guid&) = default;
    friend constexpr auto operator<=>(const Guid&, const Guid&) = default;

    constexpr bool IsNull() const {
        for (auto b : bytes)
            if (b != 0) return false;
        return true;
    }

    static constexpr Guid FromBytes(std::span<const std::uint8_t, 16> raw) {
        Guid g;
        for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = raw[i];
        return g;
    }

    // Accepts "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", optionally in braces, either case.
    static constexpr std::optional<Guid> Parse(std::string_view text) {
        if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
        if (text.size() != 36) return std::nullopt;
        if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;
        // Position in the text of each nibble pair, listed in file byte order.
        constexpr std::size_t kTextPos[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
        Guid g;
        for (std::size_t i = 0; i < 16; ++i) {
            int hi = HexValue(text[kTextPos[i]]);
            int lo = HexValue(text[kTextPos[i] + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            g.bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
        }
        return g;
    }

    // For literals in code: a malformed literal fails to compile when used in a constant expression.
    static constexpr Guid FromText(std::string_view text) {
        auto g = Parse(text);
        if (!g) throw "malformed GUID literal";
        return *g;
    }

    std::string ToString() const {
        constexpr std::size_t kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        constexpr char kHex[] = "0123456789ABCDEF";
        std::string out;
        out.reserve(36);
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
            std::uint8_t b = bytes[kOrder[i]];
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
        return out;
    }

private:
    static constexpr int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
};

}  // namespace kestrine::asf
