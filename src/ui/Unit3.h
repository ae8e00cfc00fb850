#pragma once
#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace kestrine::ui {

// The warning shown at start-up when the cutter is not beside the editor.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* centreOver = nullptr);

    QLabel* Label1;        // the three lines of the warning
    QLabel* Label2;        // the download page's address, a link
    QPushButton* Button1;  // "OK", modal result OK

    void Label2Click();

protected:
    void showEvent(QShowEvent* e) override;

private:
    QWidget* centreOver_;
};

}  // namespace kestrine::ui
