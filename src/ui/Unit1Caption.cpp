// The caption chrome of the main window: the maker line after the title, where it lies under the
// mouse, and what a click on it does.
#include "platform/Browser.h"
#include "platform/CaptionMetrics.h"
#include "ui/Unit1.h"
#include "ui/Unit1CaptionFrame.h"
#include "ui/Unit1CaptionMaker.h"
#include "ui/Unit1CaptionStrip.h"

#include <QFontMetrics>
#include <QPainter>

namespace kestrine::ui {

void TForm1::CreateCaptionFrame()
{
    captionFrame_ = std::make_unique<TCaptionFrame>(*this);
    setParent(captionFrame_.get());
    captionFrame_->UpdateCaptionLayout();
    // Title changes are painted first, then the maker line is put back.
    connect(this, &QWidget::windowTitleChanged, this, [this] { WMSetText(); });
}

void TForm1::ReleaseCaptionFrame()
{
    if (!captionFrame_) return;
    // Hiding deactivates the frame, whose caption handlers still need it.
    captionFrame_->hide();
    const std::unique_ptr<TCaptionFrame> frame = std::move(captionFrame_);
    // The frame would delete its children, this window among them.
    setParent(nullptr);
}

TCaptionFrame& TForm1::CaptionFrame() const { return *captionFrame_; }

void TForm1::setVisible(bool visible)
{
    if (!captionFrame_) {
        QWidget::setVisible(visible);
        return;
    }
    if (visible) {
        QWidget::setVisible(true);
        captionFrame_->show();
    } else {
        captionFrame_->hide();
        QWidget::setVisible(false);
    }
}

void TForm1::drawown()
{
    CaptionHeight = platform::CaptionHeight();
    TCaptionStrip& strip = *captionFrame_->CaptionBar;
    QImage& surface = strip.WindowSurface();
    const QFont font = MakerLineFont();
    const QString text = QString::fromLatin1(MakerLineText);
    const QFontMetrics metrics = surface.isNull() ? QFontMetrics(font) : QFontMetrics(font, &surface);
    MakerTextWidth = metrics.horizontalAdvance(text);
    MakerTextHeight = metrics.height();
    if (surface.isNull()) return;  // not laid out yet: nothing to draw on

    const QPoint at = CaptionHeight >= 20 ? QPoint(CaptionPrefixWidth + 10, 6) : QPoint(CaptionPrefixWidth + 8, 2);
    {
        QPainter canvas(&surface);
        canvas.setFont(font);
        canvas.setPen(MakerLineColour);
        canvas.setBackgroundMode(Qt::TransparentMode);  // the caption shows through
        canvas.drawText(QRect(at, QSize(MakerTextWidth, MakerTextHeight)), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                        text);
    }
    strip.Present();
}

void TForm1::WMNCPaint()
{
    captionFrame_->CaptionBar->PaintStandard();
    drawown();
}

void TForm1::WMNCActivate(bool active)
{
    if (!captionFrame_) return;  // the window is being taken apart
    TCaptionStrip& strip = *captionFrame_->CaptionBar;
    strip.SetCaptionActive(active);
    strip.PaintStandard();
    strip.Present();
    drawown();
}

void TForm1::WMSetText()
{
    captionFrame_->setWindowTitle(windowTitle());
    TCaptionStrip& strip = *captionFrame_->CaptionBar;
    strip.PaintStandard();
    strip.Present();
    drawown();
}

int TForm1::WMNCHitTest(int x, int y)
{
    const bool tall = CaptionHeight >= 20;
    const int offset = CaptionPrefixWidth + (tall ? 10 : 8);
    const int adjust = tall ? 0 : -4;
    const int standard = captionFrame_->StandardHitTest(QPoint(x, y));

    const QPoint s = mapToGlobal(QPoint(offset, 0));
    const bool overMakerLine = s.x() - 4 < x && x < s.x() - 2 + MakerTextWidth && s.y() - CaptionHeight + 2 < y &&
                               y < s.y() - CaptionHeight + MakerTextHeight + adjust;
    return overMakerLine ? MakerLinkHit : standard;
}

bool TForm1::wmsetcursor(QWidget* window, int hitCode)
{
    const bool ownWindow = window == captionFrame_.get() || window == captionFrame_->CaptionBar;
    if (!ownWindow || hitCode != MakerLinkHit) return false;
    window->setCursor(Qt::PointingHandCursor);
    return true;
}

void TForm1::WMNCLButtonDown(int hitCode, int x, int y)
{
    captionFrame_->CaptionBar->StandardButtonDown(hitCode, QPoint(x, y));
    // Whether the browser came up is not reported: a failure opens nothing and says nothing.
    if (hitCode == MakerLinkHit) platform::OpenInBrowser(MakerHomePage);
}

}  // namespace kestrine::ui
