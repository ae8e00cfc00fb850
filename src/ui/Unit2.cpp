#include "ui/Unit2.h"
#include "ui/Fonts.h"

#include "platform/DialogSeam.h"
#include "platform/QtPathNames.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QSaveFile>
#include <QScreen>

namespace kestrine::ui {

namespace {

constexpr int kClientWidth = 370;
constexpr int kClientHeight = 225;
constexpr int kButtonTop = 193;  // from the top at the first size; kept as a distance from the bottom
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 26;
constexpr int kClearLeft = 87;
constexpr int kSaveLeft = 207;

}  // namespace

TForm2::TForm2(QWidget* mainWindow) : QWidget(mainWindow, Qt::Tool)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("LOG"));
    setFont(TahomaFont(11));
    resize(kClientWidth, kClientHeight);
    setMinimumSize(240, 160);

    Memo1 = new TLogMemo(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Button1 = new QPushButton(QStringLiteral("Clear"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Save"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    PlaceButtons();
    setTabOrder(Memo1, Button2);
    setTabOrder(Button2, Button1);

    SaveDialog1.DefaultExt = "txt";
    SaveDialog1.FileName = "Log.txt";
    SaveDialog1.Filter = "Text files (*.txt)|*.txt|All files (*.*)|*.*";
    SaveDialog1.Owner = this;

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
}

void TForm2::PlaceButtons()
{
    // The text fills the window down to the buttons; the buttons keep their distance from the bottom
    // and stay centred as a pair when the width changes.
    const int fromBottom = kClientHeight - kButtonTop;
    const int top = height() - fromBottom;
    const int shift = (width() - kClientWidth) / 2;
    Memo1->setGeometry(0, 0, width() - (kClientWidth - 369), height() - (kClientHeight - 188));
    Button1->setGeometry(kClearLeft + shift, top, kButtonWidth, kButtonHeight);
    Button2->setGeometry(kSaveLeft + shift, top, kButtonWidth, kButtonHeight);
}

void TForm2::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    PlaceButtons();
}

void TForm2::showEvent(QShowEvent* e)
{
    if (!placed_) {
        placed_ = true;
        const QWidget* over = parentWidget();
        QRect area = over != nullptr && over->isVisible() ? over->window()->frameGeometry() : QRect();
        if (area.isNull() && screen() != nullptr) area = screen()->availableGeometry();
        if (!area.isNull()) move(area.center() - rect().center());
    }
    QWidget::showEvent(e);
}

void TForm2::Button1Click() { Memo1->Clear(); }

bool TForm2::SaveLinesTo(const std::string& path) const
{
    // Written to a temporary beside the target and renamed over it only when complete.
    QSaveFile file(platform::ToQtPath(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes;
    for (const QString& line : Memo1->Lines()) {
        bytes += line.toUtf8();
        bytes += '\n';
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void TForm2::Button2Click()
{
    if (!SaveDialog1.Execute()) return;
    if (!SaveLinesTo(SaveDialog1.FileName))
        platform::ShowErrorMessage(QStringLiteral("Cannot create file %1").arg(platform::ToQtPath(SaveDialog1.FileName)), this);
}

void TForm2::FormClose()
{
    hide();
    if (toggleButton_ != nullptr) toggleButton_->setChecked(false);
}

void TForm2::closeEvent(QCloseEvent* e)
{
    // The window lives for the whole run: closing only hides it.
    e->ignore();
    FormClose();
}

}  // namespace kestrine::ui
