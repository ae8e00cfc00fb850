#include "ui/VolumeFromSlider.h"

#include "core/Rounding.h"

namespace kestrine::ui {

std::int32_t VolumeFromSlider(std::int32_t position)
{
    const double x = static_cast<double>(position) / 10000.0;
    const double squared = x * x;
    const double attenuation = squared * 10000.0;
    return core::RoundHalfEven32(10000.0 - attenuation);
}

}  // namespace kestrine::ui
