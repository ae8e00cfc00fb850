#pragma once
// Where a picture lands in a window: stretched over all of it, or letterboxed in its own proportions.
#include <QRect>
#include <QSize>

namespace kestrine::platform {

// aspect is the picture's display aspect (width by height); an empty one keeps the stretch.
QRect PictureRect(QSize aspect, QRect target, bool letterbox);

}  // namespace kestrine::platform
