#pragma once
#include <QString>
#include <QWidget>
#include <vector>

namespace kestrine::ui {

// One line of the list: the keys and what they do.
struct TKeyLine {
    QString Keys;
    QString Does;
};

// The small window F1 brings up: every keyboard shortcut of the main window and what it does.
// Lives hidden beside the main window once made; its close box only hides it.
class TKeysWindow : public QWidget {
    Q_OBJECT
public:
    TKeysWindow(QWidget* mainWindow, const std::vector<TKeyLine>& lines);
    // Shows it in front, centred over the main window the first time.
    void ShowInFront();

private:
    bool placed_ = false;
};

}  // namespace kestrine::ui
