#include "platform/render/PictureGeometry.h"

namespace kestrine::platform {

QRect PictureRect(QSize aspect, QRect target, bool letterbox)
{
    if (!letterbox || aspect.isEmpty() || target.isEmpty()) return target;
    const QSize fitted = aspect.scaled(target.size(), Qt::KeepAspectRatio);
    const int x = target.left() + (target.width() - fitted.width()) / 2;
    const int y = target.top() + (target.height() - fitted.height()) / 2;
    return QRect(QPoint(x, y), fitted);
}

}  // namespace kestrine::platform
