#pragma once
// The fixed-width integer names the COM-shaped interfaces are written in.
// Windows' LONG and ULONG are 32 bits even where C++'s long is 64, so they are spelled out here.
#include <cstdint>

namespace kestrine::platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;

// Wide strings are UTF-16, as on Windows, so paths and names keep every character.
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using OLECHAR = WCHAR;
using LPOLESTR = WCHAR*;
using LPCOLESTR = const WCHAR*;

// Media time: 100 ns units for streams and clocks, seconds as double for IMediaPosition.
using REFERENCE_TIME = std::int64_t;
using REFTIME = double;
inline constexpr REFERENCE_TIME kUnitsPerSecond = 10'000'000;

// Automation booleans.
inline constexpr LONG OATRUE = -1;
inline constexpr LONG OAFALSE = 0;

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;

}  // namespace kestrine::platform
