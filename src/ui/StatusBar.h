#pragma once
#include <QFrame>
#include <QString>

namespace kestrine::ui {

// A one-part status bar: a sunken panel showing one line of text exactly as given (blanks included).
class TStatusBar : public QFrame {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    const QString& SimpleText() const { return text_; }
    void SetSimpleText(const QString& text);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString text_;
};

}  // namespace kestrine::ui
