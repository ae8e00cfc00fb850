#pragma once
#include <QWidget>

class QMenu;
class QAction;

namespace kestrine::ui {

class TForm1;
class TCaptionStrip;

// The main window as the window system sees it: frameless, with the caption strip on top and the
// editor's client area (the TForm1 widget, 739 x 372) right below it. Closing it goes through the
// editor's close question; activation and title changes reach the editor's caption handlers.
class TCaptionFrame : public QWidget {
    Q_OBJECT
public:
    explicit TCaptionFrame(TForm1& form);
    ~TCaptionFrame() override;

    TCaptionStrip* CaptionBar;
    QMenu* SystemMenu;
    QAction* MinimizeItem;
    QAction* CloseItem;

    // Sizes the strip to the caption-height metric and puts the client area below it.
    void UpdateCaptionLayout();
    // The platform's hit test of a screen point: caption parts, client area or nowhere.
    int StandardHitTest(const QPoint& global) const;
    void ShowSystemMenu(const QPoint& global);
    // The editor agreed to close: the window goes without asking again.
    void FormClosed();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    TForm1& form_;
    bool formAgreed_ = false;
    bool askingForm_ = false;
    bool shownBefore_ = false;
};

}  // namespace kestrine::ui
