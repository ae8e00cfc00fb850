#pragma once
#include <QFont>

namespace kestrine::ui {

// The windows are laid out for Tahoma. Where it is not installed, a condensed sans face of similar
// width keeps captions inside their controls.
inline QFont TahomaFont(int pixelSize, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

}  // namespace kestrine::ui
