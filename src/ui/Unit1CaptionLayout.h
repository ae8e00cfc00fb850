#pragma once
#include <QRect>

namespace kestrine::ui {

// Answers of the caption's standard hit test, numbered as the platform numbers them.
namespace CaptionHit {
inline constexpr int Nowhere = 0;
inline constexpr int Client = 1;
inline constexpr int Caption = 2;
inline constexpr int SystemMenu = 3;
inline constexpr int MinimizeBox = 8;
inline constexpr int CloseBox = 20;
}  // namespace CaptionHit

// Where the parts of a caption strip of the given size lie, in strip pixels.
struct CaptionParts {
    QRect SystemMenu;   // the window icon; a press opens the system menu
    QRect Icon;         // the icon picture inside it
    QRect Title;        // room for the title text
    QRect MinimizeBox;
    QRect CloseBox;
};

CaptionParts LayOutCaption(int width, int height);

}  // namespace kestrine::ui
