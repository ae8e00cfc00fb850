#pragma once
#include <QFont>

namespace kestrine::platform {

// The font the desktop uses for window titles.
QFont CaptionFont();

// Height in pixels of a window's caption bar. Derived from the caption font, so it grows with the
// desktop's scale and font size the way a platform caption bar does.
int CaptionHeight();

// For tests: a fixed caption height for its lifetime.
class ScopedCaptionHeight {
public:
    explicit ScopedCaptionHeight(int pixels);
    ~ScopedCaptionHeight();
    ScopedCaptionHeight(const ScopedCaptionHeight&) = delete;
    ScopedCaptionHeight& operator=(const ScopedCaptionHeight&) = delete;

private:
    int previous_;
};

}  // namespace kestrine::platform
