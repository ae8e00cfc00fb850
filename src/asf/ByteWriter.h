#pragma once
// Little-endian appending to a byte vector that the caller owns, the mirror of ByteReader.
//
//   std::vector<std::uint8_t> bytes;
//   ByteWriter w(bytes);
//   w.GuidValue(guids::kSimpleIndex);
//   const std::size_t sizeAt = w.Position();  w.U64(0);     // size not known yet
//   ... w.U32(interval); w.Bytes(payload); ...
//   w.PatchU64(sizeAt, w.Position());
//
// Appending never fails short of running out of memory; patches must lie within what was written
// (std::out_of_range otherwise), so a miscounted offset cannot scribble past the data.
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "asf/Guid.h"

namespace kestrine::asf {

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    std::size_t Position() const { return out_.size(); }

    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16(std::uint16_t v) { Append(v, 2); }
    void U32(std::uint32_t v) { Append(v, 4); }
    void U64(std::uint64_t v) { Append(v, 8); }
    void GuidValue(const Guid& g) { out_.insert(out_.end(), g.bytes.begin(), g.bytes.end()); }
    void Bytes(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    void Zeros(std::size_t n) { out_.insert(out_.end(), n, std::uint8_t{0}); }

    // The variable-width fields of packet headers: length type 0 = absent, 1 = byte, 2 = word, 3 = dword.
    // Throws std::out_of_range when the value does not fit the width.
    void ByLengthType(unsigned lengthType, std::uint32_t v) {
        switch (lengthType & 3u) {
            case 0:
                if (v != 0) throw std::out_of_range("a value given for an absent field");
                return;
            case 1:
                if (v > 0xFF) throw std::out_of_range("value does not fit a byte field");
                U8(static_cast<std::uint8_t>(v));
                return;
            case 2:
                if (v > 0xFFFF) throw std::out_of_range("value does not fit a word field");
                U16(static_cast<std::uint16_t>(v));
                return;
            default: U32(v); return;
        }
    }

    void PatchU8(std::size_t at, std::uint8_t v) { Patch(at, v, 1); }
    void PatchU16(std::size_t at, std::uint16_t v) { Patch(at, v, 2); }
    void PatchU32(std::size_t at, std::uint32_t v) { Patch(at, v, 4); }
    void PatchU64(std::size_t at, std::uint64_t v) { Patch(at, v, 8); }

    // Stores v little-endian at p; for callers that fill preallocated buffers.
    static void Store(std::uint8_t* p, std::uint64_t v, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

private:
    void Append(std::uint64_t v, std::size_t width) {
        const std::size_t at = out_.size();
        out_.resize(at + width);
        Store(out_.data() + at, v, width);
    }
    void Patch(std::size_t at, std::uint64_t v, std::size_t width) {
        if (at > out_.size() || width > out_.size() - at) throw std::out_of_range("patch past the bytes written");
        Store(out_.data() + at, v, width);
    }

    std::vector<std::uint8_t>& out_;
};

}  // namespace kestrine::asf
