#pragma once
#include <QIcon>
#include <QPixmap>
#include <vector>

namespace kestrine::ui {

// Image numbers of the tool buttons. The Recorder's are fixed by its tool bar's layout; the rest fill in.
enum ToolImage : int {
    imgOpen = 0,
    imgPrevKeyFrame = 1,
    imgPlay = 2,
    imgStop = 3,
    imgNextKeyFrame = 4,
    imgMarkIn = 5,
    imgMarkOut = 6,
    imgRecord = 8,
    imgSave = 9,
    imgUndo = 11,
};

// The tool buttons' images, 16 x 15, drawn by the editor itself.
class TImageList {
public:
    static constexpr int Width = 16;
    static constexpr int Height = 15;

    TImageList();
    int Count() const { return static_cast<int>(images_.size()); }
    // A null pixmap for a number no button uses.
    QPixmap Image(int index) const;
    QIcon Icon(int index) const;

private:
    std::vector<QPixmap> images_;
};

}  // namespace kestrine::ui
