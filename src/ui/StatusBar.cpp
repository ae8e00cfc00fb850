#include "ui/StatusBar.h"

#include <QPainter>

namespace kestrine::ui {

TStatusBar::TStatusBar(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void TStatusBar::SetSimpleText(const QString& text)
{
    if (text == text_) return;
    text_ = text;
    update();
}

void TStatusBar::paintEvent(QPaintEvent* e)
{
    QFrame::paintEvent(e);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    // Drawn as one run so the leading and inner blanks of the time texts keep their width.
    painter.drawText(contentsRect().adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text_);
}

}  // namespace kestrine::ui
