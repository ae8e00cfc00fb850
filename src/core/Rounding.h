#pragma once
#include <cstdint>

namespace kestrine::core {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Every rounding the editor shows or writes goes through here, so the panes, the sliders and
// the cutter's command lines agree. NaN gives 0; values beyond the range saturate.
std::int64_t RoundHalfEven(double value);

// The same, saturated to the 32-bit range the sliders and time parts use.
std::int32_t RoundHalfEven32(double value);

}  // namespace kestrine::core
