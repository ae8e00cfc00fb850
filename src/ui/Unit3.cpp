#include "ui/Unit3.h"
#include "ui/Fonts.h"

#include "platform/Browser.h"
#include "ui/ProjectLinks.h"

#include <QMouseEvent>
#include <QFontMetrics>
#include <QScreen>
#include <algorithm>

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
    const QFont font = TahomaFont(11);
    setFont(font);

    Label1 = new QLabel(QStringLiteral("ASFBIN.EXE is missing!\n"
                                       "Download Asfbin Command line version\n"
                                       "and put the exe file to KESTRINE's directory !"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(38, 32, 284, 48);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(TahomaFont(13, true));
    // Where the face is wider than the one the dialog was laid out for, the label widens about its
    // centre rather than cutting the lines off.
    const int needed = QFontMetrics(Label1->font()).boundingRect(QRect(0, 0, 1000, 1000), Qt::AlignHCenter, Label1->text()).width() + 4;
    if (needed > Label1->width()) {
        const int wider = std::min(needed, width() - 8);
        Label1->setGeometry(Label1->x() - (wider - Label1->width()) / 2, Label1->y(), wider, Label1->height());
    }

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
    QRect area = centreOver_ != nullptr ? centreOver_->window()->frameGeometry() : QRect();
    if ((area.isNull() || centreOver_ == nullptr || !centreOver_->isVisible()) && screen() != nullptr)
        area = screen()->availableGeometry();
    if (!area.isNull()) move(area.center() - rect().center());
    QDialog::showEvent(e);
}

}  // namespace kestrine::ui
