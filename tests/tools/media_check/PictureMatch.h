#pragma once
// Whether two decodes show the same picture: compared downscaled, so that two decoders' rounding
// does not count, by their peak signal-to-noise ratio.
#include <QImage>

namespace kestrine::mediacheck {

inline constexpr double kSamePictureDb = 30.0;

// Downscaled to at most 160 pixels wide, the same way for every picture compared.
QImage Thumbnail(const QImage& picture);
// PSNR of the colour channels in dB; 99 for identical pictures, 0 when the sizes differ.
double Psnr(const QImage& a, const QImage& b);

}  // namespace kestrine::mediacheck
