#pragma once
// Window handles for widgets that the video window must name to its renderer (the owner of the
// renderer window is the control's parent), and the floating-point environment guard used around
// the making of the mixing renderer.
#include "platform/graph/MessageWindow.h"

#include <cfenv>

class QWidget;

namespace kestrine::media {

// The handle that stands for widget: a top-level window already registered for it, or one made for
// it now and kept as long as the widget lives. 0 for no widget.
platform::HWND WindowHandleForWidget(QWidget* widget);

// Saves the calling thread's floating-point environment (rounding, exception masks) and puts it
// back when it goes, however the scope is left: renderer creation may change it.
class FloatingPointEnvironmentGuard {
public:
    FloatingPointEnvironmentGuard() { std::fegetenv(&saved_); }
    ~FloatingPointEnvironmentGuard() { std::fesetenv(&saved_); }
    FloatingPointEnvironmentGuard(const FloatingPointEnvironmentGuard&) = delete;
    FloatingPointEnvironmentGuard& operator=(const FloatingPointEnvironmentGuard&) = delete;

private:
    std::fenv_t saved_{};
};

}  // namespace kestrine::media
