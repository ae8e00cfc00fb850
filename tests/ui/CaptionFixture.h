#pragma once
#include "FormFixture.h"
#include "platform/CaptionMetrics.h"
#include "ui/Unit1CaptionFrame.h"
#include "ui/Unit1CaptionStrip.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <memory>
#include <optional>

namespace kestrine::test {

// Where the maker line answers the hit test, in window pixels (origin: the window's outer top-left),
// each bound exclusive.
struct MakerBounds {
    int left, right, top, bottom;
    int MidX() const { return (left + right) / 2; }
    int MidY() const { return (top + bottom) / 2; }
};

// A shown main window whose caption bar has a chosen height, measured and drawn once.
class CaptionTest : public FormTest {
protected:
    std::unique_ptr<ui::TForm1> MakeCaptionedForm(int captionHeight)
    {
        height.emplace(captionHeight);
        auto form = MakeForm();
        form->show();
        form->FormPaint();
        form->drawown();
        return form;
    }

    static ui::TCaptionStrip& Strip(ui::TForm1& form) { return *form.CaptionFrame().CaptionBar; }

    // Screen position of a window point.
    static QPoint Global(ui::TForm1& form, int x, int y) { return form.CaptionFrame().mapToGlobal(QPoint(x, y)); }

    static MakerBounds Bounds(const ui::TForm1& form)
    {
        const bool tall = form.CaptionHeight >= 20;
        const int offset = form.CaptionPrefixWidth + (tall ? 10 : 8);
        return {offset - 4, offset - 2 + form.MakerTextWidth, 2, form.MakerTextHeight + (tall ? 0 : -4)};
    }

    static int HitAt(ui::TForm1& form, int x, int y)
    {
        const QPoint g = Global(form, x, y);
        return form.WMNCHitTest(g.x(), g.y());
    }

    // Sends a mouse event to the caption strip at a window point.
    static void Mouse(ui::TForm1& form, QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        ui::TCaptionStrip& strip = Strip(form);
        const QPoint local = strip.mapFrom(&form.CaptionFrame(), QPoint(x, y));
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || (type == QEvent::MouseMove && button == Qt::NoButton)
                                          ? Qt::MouseButtons()
                                          : Qt::MouseButtons(button);
        QMouseEvent e(type, QPointF(local), QPointF(strip.mapToGlobal(local)), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, Qt::NoModifier);
        QCoreApplication::sendEvent(&strip, &e);
    }

    std::optional<platform::ScopedCaptionHeight> height;
};

}  // namespace kestrine::test
