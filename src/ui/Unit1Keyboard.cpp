// Work from the keyboard: the main window's shortcuts, each doing what its button does (and nothing
// while the button is disabled), Escape to leave full screen, F1 for the list.
#include "ui/Unit1.h"

#include "media/VideoWindow.h"
#include "ui/KeysWindow.h"

#include <QKeyEvent>

namespace kestrine::ui {

void TForm1::CreateShortcuts()
{
    // A pane's Play and Stop are one key: Stop while it plays (its timer runs), else Play, as the
    // right click on its picture decides.
    const auto playOrStop = [](QTimer* timer, QToolButton* play, QToolButton* stop) {
        return [timer, play, stop] { (timer->isActive() ? stop : play)->click(); };
    };
    const auto press = [](QAbstractButton* button) { return [button] { button->click(); }; };
    struct Entry {
        const char* name;
        QKeySequence keys;
        QString does;
        std::function<void()> act;
    };
    const Entry entries[] = {
        {"PlayerPlayStop", QKeySequence(Qt::Key_Space), QStringLiteral("Play or stop the Player"),
         playOrStop(Timer1, ToolButton5, ToolButton7)},
        {"RecorderPlayStop", QKeySequence(Qt::SHIFT | Qt::Key_Space), QStringLiteral("Play or stop the Recorder"),
         playOrStop(Timer2, ToolButton28, ToolButton32)},
        {"PrevKeyframe", QKeySequence(Qt::ALT | Qt::Key_Left), QStringLiteral("Prev. keyframe"), press(ToolButton1)},
        {"NextKeyframe", QKeySequence(Qt::ALT | Qt::Key_Right), QStringLiteral("Next keyframe"), press(ToolButton8)},
        {"MarkIn", QKeySequence(Qt::Key_I), QStringLiteral("Mark IN"), press(ToolButton13)},
        {"MarkOut", QKeySequence(Qt::Key_O), QStringLiteral("Mark OUT"), press(ToolButton16)},
        {"OpenSource", QKeySequence(Qt::CTRL | Qt::Key_O), QStringLiteral("Open"), press(ToolButton17)},
        {"RecordSpan", QKeySequence(Qt::CTRL | Qt::Key_R), QStringLiteral("Record"), press(ToolButton24)},
        {"UndoRecord", QKeySequence(Qt::CTRL | Qt::Key_Z), QStringLiteral("Undo"), press(ToolButton14)},
        {"SaveResult", QKeySequence(Qt::CTRL | Qt::Key_S), QStringLiteral("Save"), press(ToolButton38)},
        {"LogWindow", QKeySequence(Qt::CTRL | Qt::Key_L), QStringLiteral("Show or hide the LOG window"), press(sp1)},
        {"ShowKeys", QKeySequence(Qt::Key_F1), QStringLiteral("This list"), [this] { ShowKeysWindow(); }},
    };
    for (const Entry& entry : entries) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setShortcut(entry.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, entry.act);
        addAction(action);
        keyLines_.push_back({entry.keys.toString(QKeySequence::NativeText), entry.does});
    }
    keyLines_.insert(keyLines_.begin() + 6, {QStringLiteral("Esc"), QStringLiteral("Leave full screen; give up a cutter run")});
}

void TForm1::ShowKeysWindow()
{
    if (!keysWindow_) keysWindow_ = new TKeysWindow(this, keyLines_);
    keysWindow_->ShowInFront();
}

bool TForm1::LeaveFullScreen()
{
    for (const PaneControls& pane : {PlayerControls(), RecorderControls()}) {
        if (!pane.video->FullScreen()) continue;
        pane.video->SetFullScreen(false);
        FocusPositionSlider(pane);
        return true;
    }
    return false;
}

void TForm1::keyPressEvent(QKeyEvent* e)
{
    // Escape stays a plain key, never a shortcut: the cutter's wait must still see it.
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        if (LeaveFullScreen()) e->accept();
        else QWidget::keyPressEvent(e);
        return;
    }
    // Keys typed on a full-screen picture come here through its video window, past the shortcuts.
    const QKeySequence typed(e->keyCombination());
    for (QAction* action : actions()) {
        if (action->shortcut() == typed) {
            action->trigger();
            e->accept();
            return;
        }
    }
    QWidget::keyPressEvent(e);
}

}  // namespace kestrine::ui
