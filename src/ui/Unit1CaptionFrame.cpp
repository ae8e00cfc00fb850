#include "ui/Unit1CaptionFrame.h"

#include "platform/CaptionMetrics.h"
#include "ui/Unit1.h"
#include "ui/Unit1CaptionStrip.h"

#include <QCloseEvent>
#include <QMenu>

namespace kestrine::ui {

TCaptionFrame::TCaptionFrame(TForm1& form)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      form_(form)
{
    setObjectName(QStringLiteral("CaptionFrame"));
    setWindowTitle(form.windowTitle());
    CaptionBar = new TCaptionStrip(form, *this);

    // The platform's menu for a window without maximize box and without resizing.
    SystemMenu = new QMenu(this);
    SystemMenu->setObjectName(QStringLiteral("SystemMenu"));
    QAction* restore = SystemMenu->addAction(QStringLiteral("Restore"));
    restore->setEnabled(false);
    MinimizeItem = SystemMenu->addAction(QStringLiteral("Minimize"));
    SystemMenu->addSeparator();
    CloseItem = SystemMenu->addAction(QStringLiteral("Close\tAlt+F4"));
    connect(MinimizeItem, &QAction::triggered, this, [this] { showMinimized(); });
    connect(CloseItem, &QAction::triggered, this, [this] { close(); });
}

TCaptionFrame::~TCaptionFrame() = default;

void TCaptionFrame::UpdateCaptionLayout()
{
    const int height = platform::CaptionHeight();
    CaptionBar->setGeometry(0, 0, form_.width(), height);
    form_.move(0, height);
    setFixedSize(form_.width(), height + form_.height());
}

int TCaptionFrame::StandardHitTest(const QPoint& global) const
{
    const QPoint at = mapFromGlobal(global);
    if (!rect().contains(at)) return CaptionHit::Nowhere;
    if (!CaptionBar->geometry().contains(at)) return CaptionHit::Client;
    const CaptionParts parts = CaptionBar->Parts();
    const QPoint inStrip = CaptionBar->mapFrom(this, at);
    if (parts.SystemMenu.contains(inStrip)) return CaptionHit::SystemMenu;
    if (parts.MinimizeBox.contains(inStrip)) return CaptionHit::MinimizeBox;
    if (parts.CloseBox.contains(inStrip)) return CaptionHit::CloseBox;
    return CaptionHit::Caption;
}

void TCaptionFrame::ShowSystemMenu(const QPoint& global) { SystemMenu->popup(global); }

void TCaptionFrame::FormClosed()
{
    if (askingForm_) return;  // this window's own close asked; it finishes by itself
    formAgreed_ = true;
    close();
    formAgreed_ = false;
}

bool TCaptionFrame::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: {
        // The standard handling passes the activation on to the client area first.
        const bool handled = QWidget::event(e);
        form_.WMNCActivate(e->type() == QEvent::WindowActivate);
        return handled;
    }
    case QEvent::ApplicationFontChange:
    case QEvent::ScreenChangeInternal: {
        // The caption metric follows the desktop's font and scale.
        const bool handled = QWidget::event(e);
        UpdateCaptionLayout();
        CaptionBar->update();
        return handled;
    }
    default:
        return QWidget::event(e);
    }
}

void TCaptionFrame::closeEvent(QCloseEvent* e)
{
    if (formAgreed_) {
        e->accept();
        return;
    }
    // The close box, the system menu or the window manager: the editor's close asks and decides.
    askingForm_ = true;
    const bool closed = form_.close();
    askingForm_ = false;
    e->setAccepted(closed);
}

void TCaptionFrame::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    // A new main window takes the focus, as it would from a window manager that decorates it.
    if (!shownBefore_) {
        shownBefore_ = true;
        activateWindow();
    }
}

}  // namespace kestrine::ui
