#pragma once
#include <vector>

namespace kestrine::core {

// Positions within this many seconds of a keyframe count as standing on it,
// so Prev./Next step over it to its neighbour.
inline constexpr double KeyFrameTolerance = 0.0001;

// The last keyframe, walking from the end, that lies more than the tolerance before t;
// 0 when there is none. Relies on the report's ascending order.
double FindPrevKeyFrame(double t, const std::vector<double>& keyFrames);

// The first keyframe that lies more than the tolerance after t; `playerDuration` when
// there is none.
double FindNextKeyFrame(double t, const std::vector<double>& keyFrames, double playerDuration);

// The same on Edit's KeyFrames and PlayerDuration.
double FindPrevKeyFrame(double t);
double FindNextKeyFrame(double t);

}  // namespace kestrine::core
