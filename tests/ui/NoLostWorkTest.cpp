// The edges where the user's work used to be lost: a close during a cutter run, a failed Open, the LOG
// cleared under the keyframe query, a slider step that did not seek, Save over the source or the chain,
// a crash, and a disk too full for the next Record.
#include "EditorFixture.h"
#include "RecordingFixture.h"

#include "core/ResultChain.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"
#include "media/MediaErrors.h"
#include "platform/RunRecord.h"

#include <QApplication>
#include <QKeyEvent>
#include <dirent.h>

namespace kestrine::test {
namespace {

using core::Edit;
using platform::DialogAnswerer;
using platform::ModalResult;
namespace fs = std::filesystem;

// The processes this one has started and not yet reaped.
std::vector<std::string> ChildProcesses()
{
    std::vector<std::string> children;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        for (std::string pid; in >> pid;) children.push_back(pid);
    }
    return children;
}

const DialogAnswerer::Call* LastMessage(const DialogAnswerer& answerer)
{
    return answerer.Last(DialogAnswerer::Kind::Message);
}

class NoLostWorkRecording : public RecordingTest {};

TEST_F(NoLostWorkRecording, CloseDuringACutterRunEndsItLeavesTheChainAndThenCloses)
{
    Record(0.4, 1.2);
    const std::string dir = Edit.TempDir;
    ASSERT_TRUE(fs::exists(Temp(0)));
    // The close box while the cut of the second Record runs; the question is answered OK.
    beforeRun = [this](const std::string&) {
        dialogs->AnswerMessage(ModalResult::Ok);
        QTimer::singleShot(0, form.get(), [this] { form->close(); });
    };
    calls.clear();
    Record(2.0, 2.8);
    beforeRun = nullptr;

    EXPECT_EQ(calls.size(), 1u) << "the join ran in a closing window";
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_TRUE(fs::exists(dir)) << "the files went while the handler still ran";
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    // Once the handler has unwound the close goes ahead, without asking again.
    EXPECT_TRUE(DispatchUntil([&] { return !fs::exists(dir); }, 5000)) << "the run directory stayed";
    EXPECT_FALSE(form->FilterGraph2->Active());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(ChildProcesses().empty());
}

TEST_F(NoLostWorkRecording, CloseRefusedDuringARunLetsTheRecordFinish)
{
    beforeRun = [this](const std::string&) {
        dialogs->AnswerMessage(ModalResult::Cancel);
        QTimer::singleShot(0, form.get(), [this] { form->close(); });
    };
    Record(0.4, 1.2);
    beforeRun = nullptr;
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_TRUE(form->FilterGraph2->Active());
    DispatchUntil([] { return false; }, 300);
    EXPECT_TRUE(fs::exists(Temp(0)));
}

TEST_F(NoLostWorkRecording, TheLogsClearAndSaveWaitForTheCutter)
{
    int runs = 0;
    beforeRun = [&](const std::string&) {
        ++runs;
        EXPECT_FALSE(logWindow->Button1->isEnabled());
        EXPECT_FALSE(logWindow->Button2->isEnabled());
    };
    Record(0.4, 1.2);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(logWindow->Button1->isEnabled());
    EXPECT_TRUE(logWindow->Button2->isEnabled());
}

TEST_F(NoLostWorkRecording, SaveRefusesTheSourceAndTheWorkingFolderAndAsksBeforeReplacing)
{
    Record(0.4, 1.2);
    const auto sourceBytes = ReadFileBytes(source);
    const auto result = ReadFileBytes(Temp(0));

    // The source being edited: refused, and the dialog comes back (here: cancelled).
    dialogs->AnswerFile(source.string());
    form->ToolButton38Click();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(LastMessage(dialogs.answerer)->message.text.contains(QStringLiteral("source being edited")));
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 2u);
    EXPECT_EQ(ReadFileBytes(source), sourceBytes);

    // A file of the chain, or any name in the working folder.
    for (const std::string& target : {Temp(0), Temp(7)}) {
        dialogs->AnswerFile(target);
        form->ToolButton38Click();
        EXPECT_TRUE(LastMessage(dialogs.answerer)->message.text.contains(QStringLiteral("working folder")));
    }
    EXPECT_EQ(ReadFileBytes(Temp(0)), result);
    EXPECT_FALSE(fs::exists(Temp(7)));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_FALSE(Edit.ResultSaved);

    // Another existing file: the standard question; No keeps it, Yes replaces it.
    const fs::path other = root / "older.asf";
    std::ofstream(other) << "an older movie";
    dialogs->AnswerFile(other.string());
    dialogs->AnswerMessage(ModalResult::No);
    form->ToolButton38Click();
    EXPECT_TRUE(LastMessage(dialogs.answerer)->message.text.contains(QStringLiteral("already exists")));
    EXPECT_EQ(LastMessage(dialogs.answerer)->message.buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(fs::file_size(other), 14u);
    dialogs->AnswerFile(other.string());
    dialogs->AnswerMessage(ModalResult::Yes);
    form->ToolButton38Click();
    EXPECT_EQ(ReadFileBytes(other), result);
    EXPECT_TRUE(Edit.ResultSaved);
}

TEST_F(NoLostWorkRecording, ARecordThatWouldNotFitSaysSoAndChangesNothing)
{
    Record(0.4, 1.2);
    const std::uint64_t resultBytes = fs::file_size(Temp(0));
    std::string asked;
    form->FreeSpace = [&](const std::string& path) -> std::optional<std::uint64_t> {
        asked = path;
        return 100000;
    };
    calls.clear();
    Record(2.0, 2.8);
    EXPECT_EQ(asked, Edit.TempDir);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    const QString said = LastMessage(dialogs.answerer)->message.text;
    EXPECT_TRUE(said.contains(QStringLiteral("not enough room"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QString::fromStdString(Edit.TempDir))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("97.7 kB"))) << said.toStdString();  // what is free
    EXPECT_TRUE(form->Panel1->isHidden());

    // With the room there, the same Record runs.
    form->FreeSpace = [&](const std::string&) -> std::optional<std::uint64_t> { return 64u << 20; };
    Record(2.0, 2.8);
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
    EXPECT_GT(fs::file_size(Temp(2)), resultBytes);
}

TEST_F(NoLostWorkRecording, TheRunRecordFollowsTheCurrentResult)
{
    auto current = [] { return platform::RunRecord::ReadFrom(Edit.TempDir)->CurrentResult; };
    EXPECT_EQ(current(), "");
    Record(0.4, 1.2);
    EXPECT_EQ(current(), "temp0");
    Record(2.0, 2.8);
    EXPECT_EQ(current(), "temp2");
    form->ToolButton14Click();
    EXPECT_EQ(current(), "temp0");
    dialogs->AnswerFile((root / "saved.asf").string());
    form->ToolButton38Click();
    EXPECT_EQ(current(), "");
}

class NoLostWorkEditor : public EditorTest {
protected:
    void Key(QWidget* to, int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(to, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(to, &release);
    }
};

TEST_F(NoLostWorkEditor, AFailedOpenPutsTheEarlierSourceBackAsItStood)
{
    const fs::path good = MakeMedia(SmallSource());
    OpenThroughDialog(good);
    for (int i = 0; i < 6; ++i) form->ToolButton8Click();
    form->ToolButton13Click();
    form->ToolButton8Click();
    form->ToolButton8Click();
    form->ToolButton16Click();
    const double in = Edit.MarkIn, out = Edit.MarkOut, at = Edit.PlayerPos;
    ASSERT_GT(at, 1.0);
    const auto keyFrames = Edit.KeyFrames;

    const fs::path letter = root / "letter.wmv";
    std::ofstream(letter) << "Dear reader, this is not a media file.\n";
    EXPECT_THROW(OpenThroughDialog(letter), media::EDirectShowException);

    EXPECT_EQ(form->OpenDialog1.FileName, good.string());
    EXPECT_EQ(Edit.MarkIn, in);
    EXPECT_EQ(Edit.MarkOut, out);
    EXPECT_EQ(Edit.KeyFrames, keyFrames);
    EXPECT_NEAR(PlayerPosition(), at, 0.001);
    EXPECT_TRUE(WaitForFrame(*form->VideoWindow1, good, at, {0.0}));

    // Record cuts the file that is shown, with its marks.
    form->ToolButton24Click();
    ASSERT_FALSE(cutterLines.empty());
    EXPECT_NE(cutterLines.back().find(good.string()), std::string::npos) << cutterLines.back();
    EXPECT_EQ(cutterLines.back().find(letter.string()), std::string::npos);
    EXPECT_NEAR(Edit.RecorderDuration, out - in, 0.1);
}

TEST_F(NoLostWorkEditor, AFailedFirstOpenLeavesNothingToRecord)
{
    const fs::path letter = root / "letter.wmv";
    std::ofstream(letter) << "not a media file";
    EXPECT_THROW(OpenThroughDialog(letter), media::EDirectShowException);
    EXPECT_EQ(form->OpenDialog1.FileName, "");
    EXPECT_FALSE(form->FilterGraph1->Active());
    for (QToolButton* b : {form->ToolButton5, form->ToolButton7, form->ToolButton1, form->ToolButton8,
                           form->ToolButton13, form->ToolButton16, form->ToolButton24})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(form->TrackBar1->isEnabled());
}

TEST_F(NoLostWorkEditor, ASliderStepOntoTheStoredPositionStillSeeks)
{
    const fs::path good = MakeMedia(SmallSource());
    OpenThroughDialog(good);
    // Keyframe steps move only the thumb; the stored position stays 0.
    form->ToolButton8Click();
    form->ToolButton8Click();
    ASSERT_GT(PlayerPosition(), 0.1);
    ASSERT_EQ(form->TrackBar1->Position(), 0);
    Key(form->TrackBar1, Qt::Key_Home);
    EXPECT_NEAR(PlayerPosition(), 0.0, 0.001);
    EXPECT_EQ(form->StatusBar1->SimpleText(), core::StatusLine(Edit.PlayerPos, Edit.PlayerDuration));
    EXPECT_TRUE(WaitForFrame(*form->VideoWindow1, good, 0.0, {0.4}));
}

class NoLostWorkStart : public FormTest {
protected:
    // A run directory left by an editor that ended without closing, showing temp2 last.
    std::string Orphan(const std::string& current)
    {
        const std::string dir = (root / "tmp" / "kestrine-orphan").string() + "/";
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_all);
        std::ofstream(dir + "temp0") << "first result";
        std::ofstream(dir + "temp2") << "the newest result";
        std::ofstream(dir + ".temp3.abcd1234.part") << "an unfinished cut";
        platform::ProcessIdentity gone = platform::ProcessIdentity::Self();
        gone.StartTicks += 1;
        EXPECT_TRUE((platform::RunRecord{gone, current}).WriteTo(dir));
        return dir;
    }
};

TEST_F(NoLostWorkStart, TheNewestResultOfACrashedRunIsOfferedThenItsDirectoryGoes)
{
    const std::string dir = Orphan("temp2");
    const auto newest = ReadFileBytes(dir + "temp2");
    dialogs->AnswerMessage(ModalResult::Yes);
    dialogs->AnswerFile((root / "rescued").string());
    auto form = MakeForm();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_EQ(LastMessage(dialogs.answerer)->message.buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(ReadFileBytes(root / "rescued.asf"), newest);
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_TRUE(fs::exists(Edit.TempDir));  // this run's own directory is another one
}

TEST_F(NoLostWorkStart, AGivenUpRescueKeepsTheDirectoryAndNoDiscardsIt)
{
    const std::string dir = Orphan("temp2");
    dialogs->AnswerMessage(ModalResult::Yes);  // then the Save dialog is cancelled
    MakeForm();
    EXPECT_TRUE(fs::exists(dir + "temp2"));
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 1u);

    dialogs->AnswerMessage(ModalResult::No);
    MakeForm();
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 1u);
}

TEST_F(NoLostWorkStart, ACrashedRunWithoutAResultGoesWithoutAQuestion)
{
    const std::string dir = Orphan("");
    MakeForm();
    EXPECT_EQ(dialogs->Calls().size(), 0u);
    EXPECT_FALSE(fs::exists(dir));
}

}  // namespace
}  // namespace kestrine::test
