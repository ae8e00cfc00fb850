#include "PictureMatch.h"

#include <cmath>

namespace kestrine::mediacheck {

QImage Thumbnail(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    return rgb.width() <= 160 ? rgb : rgb.scaledToWidth(160, Qt::SmoothTransformation);
}

double Psnr(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull() || a.size() != b.size()) return 0;
    double squares = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = qRed(p[x]) - qRed(q[x]);
            const int dg = qGreen(p[x]) - qGreen(q[x]);
            const int db = qBlue(p[x]) - qBlue(q[x]);
            squares += dr * dr + dg * dg + db * db;
        }
    }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean <= 0 ? 99.0 : std::min(99.0, 10 * std::log10(255.0 * 255.0 / mean));
}

}  // namespace kestrine::mediacheck
