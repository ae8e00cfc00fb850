#include "core/KeyFrameSearch.h"

#include "core/EditState.h"

namespace kestrine::core {

double FindPrevKeyFrame(double t, const std::vector<double>& keyFrames)
{
    for (auto k = keyFrames.rbegin(); k != keyFrames.rend(); ++k) {
        if (t - KeyFrameTolerance > *k)
            return *k;
    }
    return 0.0;
}

double FindNextKeyFrame(double t, const std::vector<double>& keyFrames, double playerDuration)
{
    for (const double k : keyFrames) {
        if (t + KeyFrameTolerance < k)
            return k;
    }
    return playerDuration;
}

std::optional<double> FindCutStart(double markIn, const std::vector<double>& keyFrames, bool cvb)
{
    if (keyFrames.empty()) return std::nullopt;
    if (cvb) {
        for (auto k = keyFrames.rbegin(); k != keyFrames.rend(); ++k) {
            if (*k <= markIn + CutStartTolerance)
                return *k;
        }
        return keyFrames.front();
    }
    for (const double k : keyFrames) {
        if (k >= markIn - CutStartTolerance)
            return k;
    }
    return std::nullopt;
}

double FindPrevKeyFrame(double t)
{
    return FindPrevKeyFrame(t, Edit.KeyFrames);
}

double FindNextKeyFrame(double t)
{
    return FindNextKeyFrame(t, Edit.KeyFrames, Edit.PlayerDuration);
}

}  // namespace kestrine::core
