// The main window's shortcuts, typed through Qt's key simulation into the shown window: each does what
// its button does, whatever has the focus, and nothing while its button is disabled.
#include "EditorFixture.h"

#include "core/KeyFrameSearch.h"
#include "ui/KeysWindow.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

namespace kestrine::test {
namespace {

using core::Edit;
using platform::DialogAnswerer;
namespace fs = std::filesystem;

class KeyboardShortcuts : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        form->window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form->window()));
    }

    // Types on whatever has the focus, as a user would.
    void Type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }
};

TEST_F(KeyboardShortcuts, AWholeEditFromTheKeyboard)
{
    const fs::path file = MakeMedia(SmallSource());
    // Before a source, the Player's keys and Record do nothing: their buttons are disabled.
    Type(Qt::Key_Space);
    Type(Qt::Key_Right, Qt::AltModifier);
    Type(Qt::Key_I);
    Type(Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(cutterLines.empty());
    EXPECT_EQ(Edit.ResultCounter, 0);

    dialogs->AnswerFile(file.string());
    Type(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(form->OpenDialog1.FileName, file.string());
    ASSERT_GE(Edit.KeyFrames.size(), 6u);
    ASSERT_EQ(QApplication::focusWidget(), form->TrackBar1);

    // Alt+arrows step by keyframes even with the slider focused (its own arrows step by tenths).
    Type(Qt::Key_Right, Qt::AltModifier);
    Type(Qt::Key_Right, Qt::AltModifier);
    EXPECT_NEAR(PlayerPosition(), Edit.KeyFrames[1], 0.001);
    Type(Qt::Key_I);
    EXPECT_NEAR(Edit.MarkIn, Edit.KeyFrames[1], 0.001);
    Type(Qt::Key_Right, Qt::AltModifier);
    Type(Qt::Key_Right, Qt::AltModifier);
    Type(Qt::Key_Left, Qt::AltModifier);
    Type(Qt::Key_O);
    EXPECT_NEAR(Edit.MarkOut, Edit.KeyFrames[2], 0.001);
    Type(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(Edit.ResultCounter, 1);
    EXPECT_NEAR(Edit.RecorderDuration, Edit.KeyFrames[2] - Edit.KeyFrames[1], 0.05);

    // Space plays and stops the Player, Shift+Space the Recorder; a focused check box does not take it.
    form->CheckBox1->setFocus();
    Type(Qt::Key_Space);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->ToolButton5->isChecked());
    EXPECT_FALSE(form->CheckBox1->isChecked());
    Type(Qt::Key_Space);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_TRUE(form->ToolButton7->isChecked());
    Type(Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_TRUE(form->Timer2->isActive());
    Type(Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_FALSE(form->Timer2->isActive());

    // Undo, Record again, Save.
    Type(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Edit.ResultCounter, 0);
    EXPECT_FALSE(form->ToolButton14->isEnabled());
    Type(Qt::Key_Z, Qt::ControlModifier);  // disabled now: nothing
    Type(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 0u);
    Type(Qt::Key_R, Qt::ControlModifier);
    ASSERT_EQ(Edit.ResultCounter, 1);
    dialogs->AnswerFile((root / "keys.asf").string());
    Type(Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(fs::exists(root / "keys.asf"));
    EXPECT_TRUE(Edit.ResultSaved);
}

TEST_F(KeyboardShortcuts, TheLogWindowAndTheListOfKeys)
{
    Type(Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(logWindow->isVisible());
    EXPECT_TRUE(form->sp1->isChecked());
    form->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form->window()));
    Type(Qt::Key_L, Qt::ControlModifier);
    EXPECT_FALSE(logWindow->isVisible());

    Type(Qt::Key_F1);
    ASSERT_NE(form->KeysWindow(), nullptr);
    EXPECT_TRUE(form->KeysWindow()->isVisible());
    QStringList shown;
    for (const QLabel* label : form->KeysWindow()->findChildren<QLabel*>()) shown << label->text();
    for (const char* keys : {"Space", "Shift+Space", "Alt+Left", "Alt+Right", "I", "O", "Esc", "Ctrl+O", "Ctrl+R",
                             "Ctrl+Z", "Ctrl+S", "Ctrl+L", "F1"})
        EXPECT_TRUE(shown.contains(QString::fromLatin1(keys))) << keys;
}

TEST_F(KeyboardShortcuts, CommandsRefusedDuringACutterRunStayRefusedByTheirKeys)
{
    const fs::path file = MakeMedia(SmallSource());
    OpenThroughDialog(file);
    int runs = 0;
    form->CutterRun = [&](const std::string& line, core::LogText& log, std::int64_t pipeSize, const core::CutterStop* stop) {
        ++runs;
        // Ctrl+R and Ctrl+O during the run: their buttons are disabled meanwhile.
        Type(Qt::Key_R, Qt::ControlModifier);
        Type(Qt::Key_O, Qt::ControlModifier);
        core::RunCutter(line, log, pipeSize, stop);
    };
    Type(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::OpenFile), 1u);
    EXPECT_EQ(Edit.ResultCounter, 1);
}

}  // namespace
}  // namespace kestrine::test
