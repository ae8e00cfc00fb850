#include "platform/render/PictureImage.h"

namespace kestrine::platform {

QImage PictureImage(std::span<const BYTE> bytes, const VideoInfo& layout)
{
    if (layout.bitCount != 32 || layout.compression != 0 || bytes.size() < layout.PictureBytes()) return {};
    const QImage view(bytes.data(), layout.width, layout.height, static_cast<qsizetype>(layout.Stride()), QImage::Format_RGB32);
    return layout.topDown ? view.copy() : view.mirrored();
}

}  // namespace kestrine::platform
