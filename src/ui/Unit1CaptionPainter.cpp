#include "ui/Unit1CaptionPainter.h"

#include "platform/CaptionMetrics.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>

namespace kestrine::ui {

namespace {

const QColor kBoxFace{212, 208, 200};
const QColor kBoxLight{255, 255, 255};
const QColor kBoxShadow{128, 128, 128};
const QColor kBoxDarkShadow{64, 64, 64};
const QColor kActiveTitle{255, 255, 255};
const QColor kInactiveTitle{224, 224, 224};

void PaintBox(QPainter& painter, const QRect& box, bool pressed)
{
    painter.fillRect(box, kBoxFace);
    const QColor topLeft = pressed ? kBoxDarkShadow : kBoxLight;
    const QColor bottomRight = pressed ? kBoxLight : kBoxDarkShadow;
    painter.setPen(topLeft);
    painter.drawLine(box.topLeft(), box.topRight());
    painter.drawLine(box.topLeft(), box.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(box.bottomLeft(), box.bottomRight());
    painter.drawLine(box.topRight(), box.bottomRight());
    if (!pressed) {
        painter.setPen(kBoxShadow);
        painter.drawLine(box.bottomLeft() + QPoint(1, -1), box.bottomRight() + QPoint(-1, -1));
        painter.drawLine(box.topRight() + QPoint(-1, 1), box.bottomRight() + QPoint(-1, -1));
    }
}

// The glyph's square inside a box, one pixel lower and further right while the box is held.
QRect GlyphArea(const QRect& box, bool pressed)
{
    const int side = std::max(box.height() / 2, 3);
    QRect area(0, 0, side, side);
    area.moveCenter(box.center());
    return pressed ? area.translated(1, 1) : area;
}

void PaintMinimizeGlyph(QPainter& painter, const QRect& area)
{
    const int thickness = std::max(area.height() / 5, 2);
    painter.fillRect(QRect(area.left(), area.bottom() - thickness + 1, area.width(), thickness), Qt::black);
}

void PaintCloseGlyph(QPainter& painter, const QRect& area)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, std::max(area.width() / 5, 2), Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(area.topLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomLeft());
    painter.restore();
}

// Stands in for the window icon when the application has none: a small window.
void PaintGenericIcon(QPainter& painter, const QRect& area)
{
    if (area.width() < 6) return;
    const QRect window = area.adjusted(1, 2, -1, -2);
    painter.fillRect(window, Qt::white);
    painter.fillRect(QRect(window.left(), window.top(), window.width(), std::max(window.height() / 4, 2)), ActiveCaptionLeft);
    painter.setPen(kBoxDarkShadow);
    painter.drawRect(window.adjusted(0, 0, -1, -1));
}

}  // namespace

void PaintStandardCaption(QPainter& painter, const CaptionParts& parts, int width, int height, const CaptionLook& look)
{
    painter.save();
    QLinearGradient bar(0, 0, width, 0);
    bar.setColorAt(0, look.Active ? ActiveCaptionLeft : InactiveCaptionLeft);
    bar.setColorAt(1, look.Active ? ActiveCaptionRight : InactiveCaptionRight);
    painter.fillRect(QRect(0, 0, width, height), bar);

    if (look.Icon.isNull())
        PaintGenericIcon(painter, parts.Icon);
    else if (!parts.Icon.isEmpty())
        look.Icon.paint(&painter, parts.Icon, Qt::AlignCenter, look.Active ? QIcon::Normal : QIcon::Disabled);

    const QFont font = platform::CaptionFont();
    painter.setFont(font);
    painter.setPen(look.Active ? kActiveTitle : kInactiveTitle);
    const QString title = QFontMetrics(font).elidedText(look.Title, Qt::ElideRight, parts.Title.width());
    painter.drawText(parts.Title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);

    const bool minimizeHeld = look.PressedBox == CaptionHit::MinimizeBox;
    const bool closeHeld = look.PressedBox == CaptionHit::CloseBox;
    PaintBox(painter, parts.MinimizeBox, minimizeHeld);
    PaintMinimizeGlyph(painter, GlyphArea(parts.MinimizeBox, minimizeHeld));
    PaintBox(painter, parts.CloseBox, closeHeld);
    PaintCloseGlyph(painter, GlyphArea(parts.CloseBox, closeHeld));
    painter.restore();
}

}  // namespace kestrine::ui
