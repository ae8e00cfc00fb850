#include "ui/Unit1CaptionStrip.h"

#include "ui/Unit1.h"
#include "ui/Unit1CaptionFrame.h"
#include "ui/Unit1CaptionMove.h"
#include "ui/Unit1CaptionPainter.h"

#include <QMouseEvent>
#include <QPainter>

namespace kestrine::ui {

namespace {

// Marks the strip as painting for one paint event, so drawing on the surface asks for no new one.
class PaintingScope {
public:
    explicit PaintingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~PaintingScope() { flag_ = false; }
    PaintingScope(const PaintingScope&) = delete;
    PaintingScope& operator=(const PaintingScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

TCaptionStrip::TCaptionStrip(TForm1& form, TCaptionFrame& frame) : QWidget(&frame), form_(form), frame_(frame)
{
    setObjectName(QStringLiteral("CaptionBar"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCaptionStrip::Present()
{
    if (!painting_) update();
}

void TCaptionStrip::EnsureSurface()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (surface_.size() == pixels && qFuzzyCompare(surface_.devicePixelRatio(), ratio) &&
        surface_.dotsPerMeterX() == qRound(logicalDpiX() / 0.0254))
        return;
    surface_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    // A new image holds whatever memory it was given; drawing may come before the standard caption.
    surface_.fill(Qt::transparent);
    surface_.setDevicePixelRatio(ratio);
    // Text on the surface must come out as wide as the screen measures it, or the maker line
    // would not land where the measured title ends.
    surface_.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    surface_.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
}

void TCaptionStrip::PaintStandard()
{
    EnsureSurface();
    if (surface_.isNull()) return;
    QPainter painter(&surface_);
    CaptionLook look;
    look.Title = form_.windowTitle();
    look.Icon = frame_.windowIcon();
    look.Active = active_;
    look.PressedBox = PressedBox();
    PaintStandardCaption(painter, Parts(), width(), height(), look);
}

void TCaptionStrip::paintEvent(QPaintEvent*)
{
    {
        const PaintingScope scope(painting_);
        form_.WMNCPaint();
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), surface_);
}

void TCaptionStrip::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    EnsureSurface();
}

int TCaptionStrip::HitTest(const QPoint& global) { return form_.WMNCHitTest(global.x(), global.y()); }

void TCaptionStrip::UpdateCursor(const QPoint& global)
{
    if (!form_.wmsetcursor(this, HitTest(global))) unsetCursor();
}

void TCaptionStrip::StandardButtonDown(int hitCode, const QPoint& global)
{
    switch (hitCode) {
    case CaptionHit::Caption:
        // The window system moves the window and its own move loop takes the mouse; where it
        // cannot, the strip follows the mouse itself.
        if (!StartSystemMove(frame_)) dragOffset_ = global - frame_.pos();
        break;
    case CaptionHit::SystemMenu:
        frame_.ShowSystemMenu(mapToGlobal(QPoint(0, height())));
        break;
    case CaptionHit::MinimizeBox:
    case CaptionHit::CloseBox:
        // A box acts when the button comes up over it, so a press can still be taken back.
        pressedBox_ = hitCode;
        pressedInside_ = true;
        update();
        break;
    default:
        break;  // codes of the window's own, such as the maker line: nothing standard to do
    }
}

void TCaptionStrip::mousePressEvent(QMouseEvent* e)
{
    const QPoint global = e->globalPosition().toPoint();
    const int hitCode = HitTest(global);
    if (e->button() == Qt::LeftButton) {
        form_.WMNCLButtonDown(hitCode, global.x(), global.y());
    } else if (e->button() == Qt::RightButton && (hitCode == CaptionHit::Caption || hitCode == CaptionHit::SystemMenu)) {
        frame_.ShowSystemMenu(global);
    }
    e->accept();
}

void TCaptionStrip::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint global = e->globalPosition().toPoint();
    if (dragOffset_) {
        if (e->buttons() & Qt::LeftButton)
            frame_.move(global - *dragOffset_);
        else
            dragOffset_.reset();
    }
    if (pressedBox_ != CaptionHit::Nowhere) {
        const bool inside = HitTest(global) == pressedBox_;
        if (inside != pressedInside_) {
            pressedInside_ = inside;
            update();
        }
    }
    UpdateCursor(global);
    e->accept();
}

void TCaptionStrip::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton) return;
    dragOffset_.reset();
    if (pressedBox_ == CaptionHit::Nowhere) return;
    const int box = pressedBox_;
    const bool inside = HitTest(e->globalPosition().toPoint()) == box;
    pressedBox_ = CaptionHit::Nowhere;
    pressedInside_ = false;
    update();
    if (!inside) return;
    if (box == CaptionHit::MinimizeBox)
        frame_.showMinimized();
    else
        frame_.close();  // the editor's close question decides
}

void TCaptionStrip::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton) return;
    const QPoint global = e->globalPosition().toPoint();
    const int hitCode = HitTest(global);
    if (hitCode == CaptionHit::SystemMenu) {
        frame_.close();
    } else if (hitCode == CaptionHit::MinimizeBox || hitCode == CaptionHit::CloseBox) {
        StandardButtonDown(hitCode, global);
    }
    // A double click on the caption would maximize; this window has no maximize box.
}

}  // namespace kestrine::ui
