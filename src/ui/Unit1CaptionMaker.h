#pragma once
#include "ui/Fonts.h"

#include <QColor>
#include <QFont>
#include <QString>

namespace kestrine::ui {

// The maker line drawn after the title, and where a click on it leads.
inline constexpr const char* MakerHomePage = "https://orvalen.org/";
inline constexpr const char* MakerLineText = "by Orvalen";
inline const QColor MakerLineColour{180, 220, 255};

// Tahoma (or the nearest face), 11 points, bold and underlined.
inline QFont MakerLineFont()
{
    QFont font = TahomaFont(11, true);
    font.setPointSize(11);
    font.setUnderline(true);
    return font;
}

}  // namespace kestrine::ui
