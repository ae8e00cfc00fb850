#pragma once
// Volume in hundredths of a decibel (-10000 silent to 0 full) as a linear gain.
#include "platform/com/Types.h"

namespace kestrine::platform {

inline constexpr LONG kSilentVolume = -10000;

// 10^(volume / 2000); -10000 and below is muted (0), 0 and above is full (1).
double VolumeToGain(LONG volume);

}  // namespace kestrine::platform
