#pragma once
// Text fields of ASF objects are UTF-16LE, usually zero-terminated.
#include <cstdint>
#include <span>
#include <string>

namespace kestrine::asf {

// Decodes UTF-16LE bytes to UTF-8, stopping at the first zero code unit. Unpaired surrogates and
// a trailing odd byte become U+FFFD, so broken metadata never breaks the caller.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);

// Appends one code point (at most U+10FFFF) to `out` as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

}  // namespace kestrine::asf
