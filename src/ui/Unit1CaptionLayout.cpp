#include "ui/Unit1CaptionLayout.h"

#include <algorithm>

namespace kestrine::ui {

CaptionParts LayOutCaption(int width, int height)
{
    CaptionParts parts;
    const int icon = std::clamp(height - 4, 0, 16);
    parts.Icon = QRect(3, (height - icon) / 2, icon, icon);
    parts.SystemMenu = QRect(0, 0, icon + 6, height);

    // Boxes are a little wider than high and keep a 2-pixel margin, as caption buttons do.
    const int boxHeight = std::max(height - 6, 4);
    const int boxWidth = boxHeight + 2;
    const int boxTop = (height - boxHeight) / 2;
    parts.CloseBox = QRect(width - 2 - boxWidth, boxTop, boxWidth, boxHeight);
    parts.MinimizeBox = QRect(parts.CloseBox.left() - 2 - boxWidth, boxTop, boxWidth, boxHeight);

    const int titleLeft = parts.SystemMenu.right() + 3;
    parts.Title = QRect(titleLeft, 0, std::max(parts.MinimizeBox.left() - 4 - titleLeft, 0), height);
    return parts;
}

}  // namespace kestrine::ui
