#pragma once
#include <optional>
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

// How far a keyframe may lie before IN and still count as "at or after" it (the cutter's own allowance).
inline constexpr double CutStartTolerance = 0.0005;

// Where the cutter will really begin a cut marked from `markIn`: the first keyframe at or after it, or
// with CVB the last at or before it (the first keyframe when none is). Nothing when no keyframe
// qualifies or none is known.
std::optional<double> FindCutStart(double markIn, const std::vector<double>& keyFrames, bool cvb);

// The same on Edit's KeyFrames and PlayerDuration.
double FindPrevKeyFrame(double t);
double FindNextKeyFrame(double t);

}  // namespace kestrine::core
