#pragma once
// UTF-16 strings as the interfaces carry them, and their conversion to the UTF-8 used elsewhere.
#include "platform/com/Types.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrine::platform {

using WideString = std::u16string;

std::size_t WideLength(LPCWSTR text);  // 0 for null
WideString ToWide(std::string_view utf8);
std::string ToUtf8(std::u16string_view wide);
inline std::string ToUtf8(LPCWSTR text) { return text ? ToUtf8(std::u16string_view(text, WideLength(text))) : std::string(); }

// Copies into a fixed array, cut to capacity - 1 and zero-terminated (FILTER_INFO, PIN_INFO names).
void CopyWide(std::u16string_view text, WCHAR* out, std::size_t capacity);

}  // namespace kestrine::platform
