#include "platform/render/AudioVolume.h"

#include <cmath>

namespace kestrine::platform {

double VolumeToGain(LONG volume)
{
    if (volume <= kSilentVolume) return 0.0;  // the bottom of the scale is silence, not -100 dB
    if (volume >= 0) return 1.0;
    return std::pow(10.0, static_cast<double>(volume) / 2000.0);
}

}  // namespace kestrine::platform
