#include "ui/ImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace kestrine::ui {

namespace {

const QColor kInk(0, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kRed(200, 0, 0);
const QColor kBlue(0, 0, 160);
const QColor kFolder(224, 192, 64);

QPixmap Draw(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(TImageList::Width, TImageList::Height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    draw(p);
    return pixmap;
}

QPolygonF Triangle(qreal left, qreal right, qreal top, qreal bottom, bool pointsRight)
{
    const qreal mid = (top + bottom) / 2;
    if (pointsRight) return QPolygonF({QPointF(left, top), QPointF(right, mid), QPointF(left, bottom)});
    return QPolygonF({QPointF(right, top), QPointF(left, mid), QPointF(right, bottom)});
}

void Filled(QPainter& p, const QPolygonF& shape, const QColor& colour)
{
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    p.drawPolygon(shape);
}

QPixmap OpenImage()
{
    return Draw([](QPainter& p) {
        p.setPen(QPen(kFolder.darker(180), 1));
        p.setBrush(kFolder);
        p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(14.5, 5),
                                 QPointF(14.5, 13.5), QPointF(1.5, 13.5)}));
        p.setBrush(kFolder.lighter(125));
        p.drawPolygon(QPolygonF({QPointF(3.5, 7.5), QPointF(15.5, 7.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
    });
}

QPixmap PlayImage()
{
    return Draw([](QPainter& p) { Filled(p, Triangle(4, 13, 2, 13, true), kGreen); });
}

QPixmap StopImage()
{
    return Draw([](QPainter& p) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(60, 60, 60));
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
    });
}

QPixmap KeyFrameImage(bool next)
{
    return Draw([next](QPainter& p) {
        p.setPen(QPen(kBlue, 2));
        const qreal bar = next ? 13 : 3;
        p.drawLine(QPointF(bar, 3), QPointF(bar, 12));
        const qreal a = next ? 2 : 4.5;
        Filled(p, Triangle(a, a + 5, 3, 12, next), kBlue);
        Filled(p, Triangle(a + 5, a + 10, 3, 12, next), kBlue);
    });
}

QPixmap MarkImage(bool out)
{
    return Draw([out](QPainter& p) {
        p.setPen(QPen(kRed, 2));
        const qreal x = out ? 11 : 5;
        const qreal hook = out ? -3 : 3;
        p.drawLine(QPointF(x, 2), QPointF(x, 13));
        p.drawLine(QPointF(x, 2), QPointF(x + hook, 2));
        p.drawLine(QPointF(x, 13), QPointF(x + hook, 13));
        QFont f = p.font();
        f.setPixelSize(7);
        f.setBold(true);
        p.setFont(f);
        p.setPen(kInk);
        p.drawText(QRectF(out ? 1 : 7, 4, 8, 8), Qt::AlignCenter, out ? QStringLiteral("O") : QStringLiteral("I"));
    });
}

QPixmap RecordImage()
{
    return Draw([](QPainter& p) {
        p.setPen(QPen(kRed.darker(150), 1));
        p.setBrush(kRed);
        p.drawEllipse(QRectF(2.5, 2, 11, 11));
    });
}

QPixmap SaveImage()
{
    return Draw([](QPainter& p) {
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawRect(QRectF(1.5, 1.5, 12, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 1.5, 7, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(3.5, 9, 8, 4.5));
    });
}

QPixmap UndoImage()
{
    return Draw([](QPainter& p) {
        QPainterPath arc;
        arc.moveTo(4, 6);
        arc.cubicTo(8, 2, 14, 4, 13, 9);
        arc.cubicTo(12.5, 12, 9, 13, 7, 13);
        p.setPen(QPen(kBlue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc);
        Filled(p, QPolygonF({QPointF(1, 6), QPointF(6.5, 2), QPointF(6.5, 9)}), kBlue);
    });
}

}  // namespace

TImageList::TImageList() : images_(12)
{
    images_[imgOpen] = OpenImage();
    images_[imgPrevKeyFrame] = KeyFrameImage(false);
    images_[imgPlay] = PlayImage();
    images_[imgStop] = StopImage();
    images_[imgNextKeyFrame] = KeyFrameImage(true);
    images_[imgMarkIn] = MarkImage(false);
    images_[imgMarkOut] = MarkImage(true);
    images_[imgRecord] = RecordImage();
    images_[imgSave] = SaveImage();
    images_[imgUndo] = UndoImage();
}

QPixmap TImageList::Image(int index) const
{
    if (index < 0 || index >= Count()) return {};
    return images_[static_cast<std::size_t>(index)];
}

QIcon TImageList::Icon(int index) const { return QIcon(Image(index)); }

}  // namespace kestrine::ui
