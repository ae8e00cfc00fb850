#include "ui/Unit3.h"

#include "platform/Browser.h"
#include "ui/ProjectLinks.h"

#include <QMouseEvent>
#include <QScreen>

namespace kestrine::ui {

namespace {

// A label that reports a left click; the link of the warning.
class ClickableLabel final : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick();
        QLabel::mouseReleaseEvent(e);
    }
};

}  // namespace

TForm3::TForm3(QWidget* centreOver)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      centreOver_(centreOver)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Warning!"));
    setModal(true);
    setFixedSize(365, 211);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);

    Label1 = new QLabel(QStringLiteral("ASFBIN.EXE is missing!\n"
                                       "Download Asfbin Command line version\n"
                                       "and put the exe file to KESTRINE's directory !"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(38, 32, 284, 48);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont bold = font;
    bold.setPixelSize(13);
    bold.setBold(true);
    Label1->setFont(bold);

    auto* link = new ClickableLabel(QString::fromLatin1(CutterDownloadPage), this);
    link->OnClick = [this] { Label2Click(); };
    Label2 = link;
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(70, 104, 225, 13);
    QFont underlined = font;
    underlined.setUnderline(true);
    Label2->setFont(underlined);
    QPalette navy = Label2->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label2->setPalette(navy);
    Label2->setCursor(Qt::PointingHandCursor);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(145, 152, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
}

void TForm3::Label2Click()
{
    // The page opens in the browser; the warning stays up.
    platform::OpenInBrowser(CutterDownloadPage);
}

void TForm3::showEvent(QShowEvent* e)
{
    QRect area = centreOver_ != nullptr ? centreOver_->frameGeometry() : QRect();
    if ((area.isNull() || centreOver_ == nullptr || !centreOver_->isVisible()) && screen() != nullptr)
        area = screen()->availableGeometry();
    if (!area.isNull()) move(area.center() - rect().center());
    QDialog::showEvent(e);
}

}  // namespace kestrine::ui
