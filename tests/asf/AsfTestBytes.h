#pragma once
// Builds byte strings for hand-made ASF structures in tests.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "asf/Guid.h"

namespace kestrine::asf::testbytes {

struct Bytes {
    std::vector<std::uint8_t> v;

    Bytes& u8(unsigned x) { v.push_back(static_cast<std::uint8_t>(x)); return *this; }
    Bytes& u16(unsigned x) { return u8(x & 0xFF).u8((x >> 8) & 0xFF); }
    Bytes& u32(std::uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
    Bytes& u64(std::uint64_t x) { return u32(static_cast<std::uint32_t>(x)).u32(static_cast<std::uint32_t>(x >> 32)); }
    Bytes& guid(const Guid& g) { v.insert(v.end(), g.bytes.begin(), g.bytes.end()); return *this; }
    Bytes& fill(std::size_t n, std::uint8_t value) { v.insert(v.end(), n, value); return *this; }
    Bytes& raw(const std::vector<std::uint8_t>& b) { v.insert(v.end(), b.begin(), b.end()); return *this; }
    Bytes& raw(std::initializer_list<std::uint8_t> b) { v.insert(v.end(), b.begin(), b.end()); return *this; }
    // Text as the format stores it: UTF-16LE with a terminating zero.
    Bytes& wstr(const char* ascii)
    {
        for (const char* p = ascii; *p; ++p) u16(static_cast<unsigned char>(*p));
        return u16(0);
    }
    std::size_t size() const { return v.size(); }
};

// An object: GUID, 64-bit size (header included), body.
inline std::vector<std::uint8_t> Object(const Guid& id, const std::vector<std::uint8_t>& body)
{
    Bytes b;
    b.guid(id).u64(24 + body.size()).raw(body);
    return b.v;
}

// Pieces of one data packet counted in bytes of the payload data.
inline std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed)
{
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

}  // namespace kestrine::asf::testbytes
