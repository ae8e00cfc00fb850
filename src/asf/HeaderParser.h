#pragma once
// Parses the bytes of a whole Header Object (its 30-byte object header included) into a Header.
//
// Throws FormatError when the structure cannot be trusted: a child's size runs past the header,
// File Properties or every Stream Properties is missing or truncated. Objects that only describe
// (codec list, metadata, markers...) are kept raw even when their contents are malformed; such a
// problem is listed in `warnings` and never stops the file from being read.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asf/HeaderObjects.h"

namespace kestrine::asf {

struct ParsedHeader {
    Header header;
    std::vector<std::string> warnings;
};

ParsedHeader ParseHeaderObject(std::span<const std::uint8_t> bytes, std::uint64_t fileOffset = 0);

// Single-object parsers, for callers (and writers' tests) that hold one object's bytes,
// its 24-byte object header included.
FileProperties ParseFileProperties(std::span<const std::uint8_t> object);
StreamProperties ParseStreamProperties(std::span<const std::uint8_t> object);
ExtendedStreamProperties ParseExtendedStreamProperties(std::span<const std::uint8_t> object,
                                                       std::optional<StreamProperties>* embedded = nullptr);
IndexParameters ParseIndexParameters(std::span<const std::uint8_t> object);
// A WAVEFORMATEX block (a cbSize larger than the block is cut to it); nothing when shorter than 16 bytes.
std::optional<AudioFormat> ParseAudioFormat(std::span<const std::uint8_t> block);

}  // namespace kestrine::asf
