#include "support/TestPictures.h"

#include "support/TestMedia.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kestrine::test {

QImage FfmpegFrameAt(const std::filesystem::path& file, double seconds, QSize size)
{
    char at[32];
    std::snprintf(at, sizeof at, "%.6f", seconds);
    char scale[48];
    std::snprintf(scale, sizeof scale, "scale=%d:%d", size.width(), size.height());
    // -ss after the input decodes from the start, so the frame is exact rather than a keyframe's.
    const ProgramResult r = RunProgram("ffmpeg", {"-v", "error", "-i", file.string(), "-ss", at, "-frames:v", "1",
                                                  "-vf", scale, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    const auto expected = static_cast<std::size_t>(size.width()) * static_cast<std::size_t>(size.height()) * 3;
    if (r.exitCode != 0 || r.out.size() != expected) return {};
    QImage picture(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y)
        std::copy_n(r.out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width()) * 3,
                    size.width() * 3, reinterpret_cast<char*>(picture.scanLine(y)));
    return picture;
}

double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size()) return 255.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i) sum += std::abs(int(p[i]) - int(q[i]));
    }
    return sum / (double(x.width()) * x.height() * 3);
}

bool ShowsFrame(const QImage& shown, const QImage& expected, const std::vector<QImage>& others)
{
    const double near = MeanDifference(shown, expected);
    if (near > 20.0) return false;
    for (const QImage& other : others)
        if (MeanDifference(shown, other) <= near) return false;
    return true;
}

}  // namespace kestrine::test
