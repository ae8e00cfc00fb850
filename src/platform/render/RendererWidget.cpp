#include "platform/render/RendererWidget.h"

#include "platform/render/PictureGeometry.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace kestrine::platform {

RendererWidget::RendererWidget(std::shared_ptr<FrameStore> frames) : frames_(std::move(frames))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    poll_.setInterval(10);
    QObject::connect(&poll_, &QTimer::timeout, this, [this] { RepaintIfNew(); });
    poll_.start();
}

void RendererWidget::SetLetterbox(bool letterbox)
{
    letterbox_ = letterbox;
    update();
}

void RendererWidget::SetPictureAspect(QSize aspect)
{
    aspect_ = aspect;
    update();
}

void RendererWidget::SetDestination(QRect destination)
{
    destination_ = destination;
    update();
}

QRect RendererWidget::PaintedRect() const
{
    const QRect target = destination_.isEmpty() ? rect() : destination_;
    const QImage image = frames_->Image();
    const QSize aspect = aspect_.isEmpty() ? image.size() : aspect_;
    return PictureRect(aspect, target, letterbox_);
}

void RendererWidget::RepaintIfNew()
{
    const std::uint64_t g = frames_->Generation();
    if (g == shown_) return;
    shown_ = g;
    update();
}

void RendererWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QImage image = frames_->Image();
    shown_ = frames_->Generation();
    if (image.isNull()) return;
    const QRect target = PaintedRect();
    const QSize device = (QSizeF(target.size()) * devicePixelRatioF()).toSize();
    frames_->SetPaintSize(device);
    const QImage fitted = frames_->Fitted(device);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, fitted.isNull() ? image : fitted);
}

bool RendererWidget::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
        if (Forward(e)) return true;
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

// Re-issues the event on the drain's widget at the same screen point, so a click on the renderer
// window lying over the drain arrives at the drain's own coordinates.
bool RendererWidget::Forward(QEvent* e)
{
    QWidget* drain = drain_ ? WindowWidget(drain_) : nullptr;
    if (drain == nullptr || drain == this) return false;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
        const auto* m = static_cast<QMouseEvent*>(e);
        const QPointF global = m->globalPosition();
        QMouseEvent copy(m->type(), drain->mapFromGlobal(global), global, m->button(), m->buttons(), m->modifiers(),
                         m->pointingDevice());
        QCoreApplication::sendEvent(drain, &copy);
        return true;
    }
    case QEvent::Wheel: {
        const auto* w = static_cast<QWheelEvent*>(e);
        const QPointF global = w->globalPosition();
        QWheelEvent copy(drain->mapFromGlobal(global), global, w->pixelDelta(), w->angleDelta(), w->buttons(), w->modifiers(), w->phase(),
                         w->inverted(), w->source(), w->pointingDevice());
        QCoreApplication::sendEvent(drain, &copy);
        return true;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* k = static_cast<QKeyEvent*>(e);
        QKeyEvent copy(k->type(), k->key(), k->modifiers(), k->nativeScanCode(), k->nativeVirtualKey(), k->nativeModifiers(), k->text(),
                       k->isAutoRepeat(), static_cast<quint16>(k->count()));
        QCoreApplication::sendEvent(drain, &copy);
        return true;
    }
    case QEvent::ContextMenu: {
        const auto* c = static_cast<QContextMenuEvent*>(e);
        QContextMenuEvent copy(c->reason(), drain->mapFromGlobal(c->globalPos()), c->globalPos(), c->modifiers());
        QCoreApplication::sendEvent(drain, &copy);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace kestrine::platform
