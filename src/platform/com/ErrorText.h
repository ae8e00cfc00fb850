#pragma once
// Plain-English texts for the results our graph and runtime return.
#include "platform/com/HResult.h"

#include <string>
#include <string_view>

namespace kestrine::platform {

// The text for a result; codes we never return get a generic text naming the value.
std::string ErrorText(HRESULT hr);

// The symbolic name ("VFW_E_NOT_FOUND"), or the value as "0x80040216" for unknown codes. Used by graph logs.
std::string HResultName(HRESULT hr);

// Copies ErrorText(hr) into buffer, cut to maxLen - 1 characters and zero-terminated.
// Gives the number of characters written, 0 when there is no room.
DWORD AMGetErrorTextA(HRESULT hr, char* buffer, DWORD maxLen);

}  // namespace kestrine::platform
