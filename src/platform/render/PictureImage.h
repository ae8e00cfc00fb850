#pragma once
// Uncompressed RGB32 pictures as Qt paints them.
#include "platform/graph/VideoInfo.h"

#include <QImage>

#include <span>

namespace kestrine::platform {

// A copy of the picture laid out as `layout` says (rows `layout.Stride()` apart, either order),
// `layout.width` by `layout.height`; a null image when the layout is not 32-bit or the bytes are too few.
QImage PictureImage(std::span<const BYTE> bytes, const VideoInfo& layout);

}  // namespace kestrine::platform
