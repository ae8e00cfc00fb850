// The Options popup, the LOG Window button and the grouped transport buttons.
#include "ui/Unit1.h"

#include "ui/Unit2.h"

#include <QCursor>

namespace kestrine::ui {

namespace {

// The toolkit flips a checkable item before reporting the choice; the handler is the one that flips,
// so the toolkit's flip is taken back first.
void ConnectOwnToggle(QAction* item, TForm1* form, void (TForm1::*handler)())
{
    QObject::connect(item, &QAction::triggered, form, [item, form, handler] {
        item->setChecked(!item->isChecked());
        (form->*handler)();
    });
}

}  // namespace

void TForm1::ConnectHandlers()
{
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(sp1, &QToolButton::clicked, this, [this] { sp1Click(); });
    ConnectOwnToggle(CVB1, this, &TForm1::CVB1Click);
    ConnectOwnToggle(Noindex1, this, &TForm1::Noindex1Click);
    ConnectOwnToggle(GetKf1, this, &TForm1::GetKf1Click);
    ConnectOwnToggle(Cont1, this, &TForm1::Cont1Click);
}

void TForm1::Button1Click() { PopupMenu1->popup(QCursor::pos()); }

void TForm1::CVB1Click()
{
    CVB1->setChecked(!CVB1->isChecked());
    ShowCutStart();  // with CVB a cut begins on the keyframe before IN instead of the one after
}
void TForm1::Noindex1Click() { Noindex1->setChecked(!Noindex1->isChecked()); }
void TForm1::GetKf1Click() { GetKf1->setChecked(!GetKf1->isChecked()); }
void TForm1::Cont1Click() { Cont1->setChecked(!Cont1->isChecked()); }

void TForm1::sp1Click()
{
    if (logWindow_ == nullptr) return;
    if (sp1->isChecked()) {
        logWindow_->show();
        logWindow_->raise();
        logWindow_->activateWindow();
    } else {
        logWindow_->hide();
    }
}

void TForm1::ReleaseGroup(QButtonGroup& group)
{
    const bool exclusive = group.exclusive();
    group.setExclusive(false);
    for (QAbstractButton* b : group.buttons()) b->setChecked(false);
    group.setExclusive(exclusive);
}

}  // namespace kestrine::ui
