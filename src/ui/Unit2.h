#pragma once
#include "ui/FileDialogs.h"
#include "ui/LogMemo.h"

#include <QPushButton>
#include <QWidget>
#include <functional>

class QAbstractButton;

namespace kestrine::ui {

// The LOG window: everything the cutter printed, with Clear and Save. Made once at start-up, hidden;
// only shown and hidden afterwards. Its close box hides it and lets the main window raise its button.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    // `mainWindow` owns it, and it is centred over that window when first shown.
    explicit TForm2(QWidget* mainWindow = nullptr);

    TLogMemo* Memo1;
    QPushButton* Button1;  // "Clear"
    QPushButton* Button2;  // "Save"
    TSaveDialog SaveDialog1;

    // The main window's toggle button, raised when the user closes this window by its close box.
    void SetToggleButton(QAbstractButton* button) { toggleButton_ = button; }

    void Button1Click();  // Clear
    void Button2Click();  // Save
    void FormClose();     // close box: hide and raise the toggle button

    // Writes the log's lines to `path`, one per line. False (and nothing written over) on failure.
    bool SaveLinesTo(const std::string& path) const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void PlaceButtons();

    QAbstractButton* toggleButton_ = nullptr;
    bool placed_ = false;
};

}  // namespace kestrine::ui
