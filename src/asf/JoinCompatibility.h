#pragma once
// Whether the media objects of one file can follow those of another in a single stream set: the
// same stream numbers and types, and byte-identical codec format blocks and audio spreads, since a
// decoder is set up once from the first file's header.
#include <optional>
#include <string>

#include "asf/HeaderObjects.h"

namespace kestrine::asf {

// Nullopt when `second` can be joined to `first`; otherwise the first difference found, as a phrase
// such as "stream 2 (video) has a different picture size: 320x240 against 640x480".
std::optional<std::string> JoinDifference(const Header& first, const Header& second);

}  // namespace kestrine::asf
