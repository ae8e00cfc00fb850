#pragma once
// Pictures for comparing what a window shows with what an independent decoder makes of the source.
#include <QImage>
#include <filesystem>
#include <vector>

namespace kestrine::test {

// ffmpeg's decode of the frame shown at `seconds` (the last frame starting at or before it), scaled
// to `size`; a null image when ffmpeg fails.
QImage FfmpegFrameAt(const std::filesystem::path& file, double seconds, QSize size);

// Mean absolute difference per colour channel (0 to 255) of two pictures of one size; 255 when the
// sizes differ or either is null.
double MeanDifference(const QImage& a, const QImage& b);

// Whether `shown` is nearer to `expected` than to each of `others` (and near it in absolute terms).
bool ShowsFrame(const QImage& shown, const QImage& expected, const std::vector<QImage>& others);

}  // namespace kestrine::test
