// Drawing of the track bar: channel, selection range, ticks, thumb and focus frame.
#include "ui/MyTrackBar.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>

namespace kestrine::ui {

namespace {

constexpr int kTickLength = 3;
constexpr int kTickGap = 2;

}  // namespace

void TMyTrackBar::paintEvent(QPaintEvent*)
{
    if (!created_) ReadCreationSwitches();
    QPainter painter(this);
    const QPalette& pal = palette();
    const bool enabled = isEnabled();
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor light = pal.color(QPalette::Light);
    const QColor face = pal.color(QPalette::Button);
    const QColor text = enabled ? pal.color(QPalette::WindowText) : pal.color(QPalette::Disabled, QPalette::WindowText);

    // Channel: a sunken groove.
    const QRect channel = ChannelRect();
    painter.fillRect(channel, pal.color(QPalette::Base));
    painter.setPen(shadow);
    painter.drawLine(channel.topLeft(), channel.topRight());
    painter.drawLine(channel.topLeft(), channel.bottomLeft());
    painter.setPen(light);
    painter.drawLine(channel.bottomLeft(), channel.bottomRight());
    painter.drawLine(channel.topRight(), channel.bottomRight());

    const int thumbStart = ThumbAcrossStart();
    const int thumbEnd = thumbStart + ThumbLength() - 1;
    const bool ticksAfter = TickStyle() != TTickStyle::tsNone &&
                            (TickMarks() == TTickMark::tmBottomRight || TickMarks() == TTickMark::tmBoth);
    const bool ticksBefore = TickStyle() != TTickStyle::tsNone &&
                             (TickMarks() == TTickMark::tmTopLeft || TickMarks() == TTickMark::tmBoth);

    auto acrossLine = [&](int along, int from, int length) {
        if (Horizontal())
            painter.drawLine(along, from, along, from + length - 1);
        else
            painter.drawLine(from, along, from + length - 1, along);
    };

    // Selection range, inside the channel, with short marks at its ends on the tick side.
    if (SelectionShown() && SelStart() < SelEnd()) {
        const int a = ValueToPixel(SelStart());
        const int b = ValueToPixel(SelEnd());
        const QColor highlight = enabled ? pal.color(QPalette::Highlight) : shadow;
        const QRect inner = channel.adjusted(1, 1, -1, -1);
        const QRect range = Horizontal() ? QRect(a, inner.top(), b - a + 1, inner.height())
                                         : QRect(inner.left(), a, inner.width(), b - a + 1);
        painter.fillRect(range, highlight);
        painter.setPen(text);
        if (ticksAfter) {
            acrossLine(a, thumbEnd + kTickGap, kTickLength - 1);
            acrossLine(b, thumbEnd + kTickGap, kTickLength - 1);
        }
        if (ticksBefore) {
            acrossLine(a, thumbStart - kTickGap - kTickLength + 1, kTickLength - 1);
            acrossLine(b, thumbStart - kTickGap - kTickLength + 1, kTickLength - 1);
        }
    }

    // Ticks.
    painter.setPen(text);
    for (int v : TickValues()) {
        const int along = ValueToPixel(v);
        if (ticksAfter) acrossLine(along, thumbEnd + kTickGap + 1, kTickLength);
        if (ticksBefore) acrossLine(along, thumbStart - kTickGap - kTickLength, kTickLength);
    }

    // Thumb: pointed towards the ticks when they are on one side only, a plain block otherwise.
    const QRect t = ThumbRect();
    QPolygon shape;
    const int point = std::max(2, ThumbBreadthAlong() / 2);
    if (ticksAfter && !ticksBefore) {
        shape = Horizontal() ? QPolygon({t.topLeft(), t.topRight(), QPoint(t.right(), t.bottom() - point),
                                         QPoint(t.center().x(), t.bottom()), QPoint(t.left(), t.bottom() - point)})
                             : QPolygon({t.topLeft(), QPoint(t.right() - point, t.top()), QPoint(t.right(), t.center().y()),
                                         QPoint(t.right() - point, t.bottom()), t.bottomLeft()});
    } else if (ticksBefore && !ticksAfter) {
        shape = Horizontal() ? QPolygon({QPoint(t.center().x(), t.top()), QPoint(t.right(), t.top() + point), t.bottomRight(),
                                         t.bottomLeft(), QPoint(t.left(), t.top() + point)})
                             : QPolygon({QPoint(t.left() + point, t.top()), t.topRight(), t.bottomRight(),
                                         QPoint(t.left() + point, t.bottom()), QPoint(t.left(), t.center().y())});
    } else {
        shape = QPolygon(QRect(t.topLeft(), t.bottomRight()));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(enabled ? face : pal.color(QPalette::Disabled, QPalette::Button));
    painter.setPen(enabled ? shadow.darker(130) : shadow);
    painter.drawPolygon(shape);
    if (!enabled) {
        // A disabled thumb shows a hatched face, as the platform's does.
        painter.setBrush(QBrush(shadow, Qt::Dense5Pattern));
        painter.setPen(Qt::NoPen);
        painter.drawPolygon(shape);
    }

    if (hasFocus()) {
        QPen dotted(text, 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

}  // namespace kestrine::ui
