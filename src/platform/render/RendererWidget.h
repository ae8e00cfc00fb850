#pragma once
// The window a video renderer draws into: paints the latest picture on black (stretched or
// letterboxed) and hands mouse and keyboard input to the message drain as if it happened there.
#include "platform/graph/MessageWindow.h"
#include "platform/render/FrameStore.h"

#include <QTimer>
#include <QWidget>

#include <memory>

namespace kestrine::platform {

class RendererWidget final : public QWidget {
public:
    explicit RendererWidget(std::shared_ptr<FrameStore> frames);

    void SetLetterbox(bool letterbox);
    void SetPictureAspect(QSize aspect);
    void SetDrain(HWND drain) { drain_ = drain; }
    HWND Drain() const { return drain_; }
    // Where the picture is painted inside this widget (its whole rectangle by default).
    void SetDestination(QRect destination);
    QRect PaintedRect() const;

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;

private:
    void RepaintIfNew();
    bool Forward(QEvent* e);

    std::shared_ptr<FrameStore> frames_;
    QTimer poll_;
    std::uint64_t shown_ = 0;
    bool letterbox_ = false;
    QSize aspect_;
    QRect destination_;  // empty: the whole widget
    HWND drain_ = 0;
};

}  // namespace kestrine::platform
