#include "core/SliderUnits.h"

#include "core/Rounding.h"

namespace kestrine::core {

std::int32_t SecondsToSliderUnits(double seconds)
{
    return RoundHalfEven32(seconds * 10.0);
}

double SliderUnitsToSeconds(std::int32_t units)
{
    return static_cast<double>(units) / 10.0;
}

}  // namespace kestrine::core
