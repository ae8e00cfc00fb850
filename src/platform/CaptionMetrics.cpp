#include "platform/CaptionMetrics.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <algorithm>

namespace kestrine::platform {

namespace {

// A height fixed by a test; 0 when the font decides. Only ScopedCaptionHeight changes it.
int fixedHeight = 0;

}  // namespace

QFont CaptionFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    // The desktop's font comes with nothing marked as set, so a painter would draw it in its own
    // default font instead; every property is meant.
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

int CaptionHeight()
{
    if (fixedHeight > 0) return fixedHeight;
    // The title line with a third of its height above and below it: 25 pixels for a 15-pixel font,
    // which is what a desktop at normal scale gives its caption bars.
    const int line = QFontMetrics(CaptionFont()).height();
    return line + 2 * std::max(3, (line + 2) / 3);
}

ScopedCaptionHeight::ScopedCaptionHeight(int pixels) : previous_(fixedHeight) { fixedHeight = pixels; }

ScopedCaptionHeight::~ScopedCaptionHeight() { fixedHeight = previous_; }

}  // namespace kestrine::platform
