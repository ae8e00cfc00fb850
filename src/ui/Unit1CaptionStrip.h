#pragma once
#include "ui/Unit1CaptionLayout.h"

#include <QImage>
#include <QWidget>
#include <optional>

namespace kestrine::ui {

class TForm1;
class TCaptionFrame;

// The caption bar above the main window's client area, drawn by the editor because the window
// manager's own cannot be painted into. It keeps its picture in a surface the handlers draw on, as
// they would on the window's device context; mouse input goes through the window's hit test.
class TCaptionStrip : public QWidget {
    Q_OBJECT
public:
    TCaptionStrip(TForm1& form, TCaptionFrame& frame);

    // The caption's drawing surface: origin at the window's outer top-left, one strip high.
    QImage& WindowSurface() { return surface_; }
    // Puts what was drawn on the surface on screen.
    void Present();

    // Standard non-client painting: the whole strip, active or inactive.
    void PaintStandard();
    bool CaptionActive() const { return active_; }
    void SetCaptionActive(bool active) { active_ = active; }
    CaptionParts Parts() const { return LayOutCaption(width(), height()); }

    // Standard reaction to a left press on the caption at a screen point, by hit code.
    void StandardButtonDown(int hitCode, const QPoint& global);
    int PressedBox() const { return pressedInside_ ? pressedBox_ : CaptionHit::Nowhere; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    int HitTest(const QPoint& global);
    void UpdateCursor(const QPoint& global);

    void EnsureSurface();

    TForm1& form_;
    TCaptionFrame& frame_;
    QImage surface_;
    bool painting_ = false;
    bool active_ = false;
    int pressedBox_ = CaptionHit::Nowhere;
    bool pressedInside_ = false;
    // Where the window was grabbed, while it is moved by hand (the window system could not move it).
    std::optional<QPoint> dragOffset_;
};

}  // namespace kestrine::ui
