#include "core/RecordRoom.h"

#include <algorithm>
#include <cmath>

namespace kestrine::core {

namespace {

// A cut may begin up to a keyframe interval early and carries its own header and index; a tenth more
// and a few megabytes cover both for any real source.
constexpr double kMarginFactor = 1.1;
constexpr std::uint64_t kMarginBytes = 4u << 20;

}  // namespace

RecordRoom EstimateRecordRoom(std::uint64_t sourceBytes, double sourceDuration, double markIn, double markOut,
                              bool resultExists)
{
    double share = 1.0;
    if (sourceDuration > 0 && std::isfinite(sourceDuration) && std::isfinite(markIn) && std::isfinite(markOut))
        share = std::clamp((markOut - markIn) / sourceDuration, 0.0, 1.0);
    RecordRoom room;
    room.Segment = static_cast<std::uint64_t>(std::ceil(static_cast<double>(sourceBytes) * share));
    if (resultExists) room.Appended = room.Segment;
    const double total = static_cast<double>(room.Segment + room.Appended) * kMarginFactor;
    room.Needed = static_cast<std::uint64_t>(std::ceil(total)) + kMarginBytes;
    return room;
}

}  // namespace kestrine::core
