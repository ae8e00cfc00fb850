#pragma once
#include <cstdint>

namespace kestrine::ui {

// The graph volume (0 silent .. 10000 loudest) for a volume slider position (0 at the top, loudest,
// .. 10000 at the bottom). The attenuation grows with the square of the distance from the top, so
// the upper half of the slider holds the fine steps where hearing is most sensitive.
std::int32_t VolumeFromSlider(std::int32_t position);

}  // namespace kestrine::ui
