#pragma once
#include <cstdint>

namespace kestrine::core {

// The position sliders count tenths of a second.
// A time becomes a slider value by x 10 rounded to the nearest integer, halves to even
// (0.25 s -> 2, 0.35 s -> 4, a duration of 1234.56 s -> a maximum of 12346).
std::int32_t SecondsToSliderUnits(double seconds);

// A slider position p stands for p / 10 seconds.
double SliderUnitsToSeconds(std::int32_t units);

}  // namespace kestrine::core
