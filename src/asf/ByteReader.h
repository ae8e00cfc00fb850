#pragma once
// Bounds-checked little-endian reading over a byte span that it does not own.
//
//   ByteReader r(bytes, "File Properties Object");
//   Guid id = r.ReadGuid();  std::uint64_t size = r.U64();
//   ByteReader body = r.Sub(n);            // a reader limited to the next n bytes
//   std::span<const std::uint8_t> raw = r.Bytes(n);
//
// Every read past the end throws FormatError naming the structure ("... is truncated"),
// so a parser can never run past its buffer however the sizes inside the data lie.
// `what` is kept by reference (normally a string literal), so readers are cheap to make per packet.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "asf/FormatError.h"
#include "asf/Guid.h"

namespace kestrine::asf {

class ByteReader {
public:
    ByteReader(std::span<const std::uint8_t> data, std::string_view what)
        : data_(data), what_(what) {}

    std::size_t Position() const { return pos_; }
    std::size_t Size() const { return data_.size(); }
    std::size_t Remaining() const { return data_.size() - pos_; }
    bool AtEnd() const { return pos_ == data_.size(); }
    std::string_view What() const { return what_; }

    std::uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    std::uint16_t U16() { return static_cast<std::uint16_t>(ReadLE(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(ReadLE(4)); }
    std::uint64_t U64() { return ReadLE(8); }

    // The variable-width fields of packet headers: length type 0 = absent, 1 = byte, 2 = word, 3 = dword.
    std::uint32_t ReadByLengthType(unsigned lengthType) {
        switch (lengthType & 3u) {
            case 0: return 0;
            case 1: return U8();
            case 2: return U16();
            default: return U32();
        }
    }

    Guid ReadGuid() {
        Need(16);
        Guid g = Guid::FromBytes(std::span<const std::uint8_t, 16>(data_.data() + pos_, 16));
        pos_ += 16;
        return g;
    }

    std::span<const std::uint8_t> Bytes(std::size_t n) {
        Need(n);
        auto out = data_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

    ByteReader Sub(std::size_t n, std::string_view what) { return ByteReader(Bytes(n), what); }

    void Skip(std::size_t n) {
        Need(n);
        pos_ += n;
    }

    void Seek(std::size_t pos) {
        if (pos > data_.size()) Fail();
        pos_ = pos;
    }

    [[noreturn]] void Fail() const { throw FormatError(std::string(what_) + " is truncated"); }

private:
    void Need(std::size_t n) const {
        if (n > data_.size() - pos_) Fail();
    }

    std::uint64_t ReadLE(std::size_t n) {
        Need(n);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(data_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    std::span<const std::uint8_t> data_;
    std::string_view what_;  // normally a literal; must outlive the reader
    std::size_t pos_ = 0;
};

}  // namespace kestrine::asf
