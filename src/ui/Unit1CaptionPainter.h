#pragma once
#include "ui/Unit1CaptionLayout.h"

#include <QColor>
#include <QIcon>
#include <QString>

class QPainter;

namespace kestrine::ui {

// What the standard caption shows at one moment.
struct CaptionLook {
    QString Title;
    QIcon Icon;
    bool Active = true;
    int PressedBox = CaptionHit::Nowhere;  // the box held down, drawn sunken
};

// Caption colours, left and right end of the bar's gradient.
inline const QColor ActiveCaptionLeft{10, 36, 106};
inline const QColor ActiveCaptionRight{92, 140, 200};
inline const QColor InactiveCaptionLeft{128, 128, 128};
inline const QColor InactiveCaptionRight{180, 180, 180};

// Paints the whole caption strip (background, icon, title, minimize and close boxes), covering
// whatever was drawn there before.
void PaintStandardCaption(QPainter& painter, const CaptionParts& parts, int width, int height, const CaptionLook& look);

}  // namespace kestrine::ui
