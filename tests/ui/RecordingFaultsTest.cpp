// Record and Undo when something goes wrong: a cut or join that writes nothing, a vanished result, a
// result the graph cannot play, and commands pressed while the cutter runs.
#include "RecordingFixture.h"

#include "media/MediaErrors.h"

using kestrine::core::Edit;
using kestrine::platform::DialogAnswerer;
using kestrine::test::Counters;
using kestrine::test::RecordingTest;
namespace fs = std::filesystem;

namespace {

bool LogSays(const kestrine::ui::TForm2& log, const QString& words)
{
    for (const QString& line : log.Memo1->Lines())
        if (line.contains(words)) return true;
    return false;
}

}  // namespace

TEST_F(RecordingTest, UndoWhoseEarlierResultVanishedKeepsTheChainWhole)
{
    Record(0.4, 1.2);
    Record(2.0, 2.8);
    Record(1.0, 1.6);
    const double shown = Edit.RecorderDuration;
    fs::remove(Temp(4) + ".undo");  // temp2 lives on only inside temp4, and now nothing gives it back

    form->ToolButton14Click();
    EXPECT_EQ(Now(), (Counters{5, "temp5", 5}));
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.contains(QString::fromStdString(Temp(2))));
    EXPECT_TRUE(form->FilterGraph2->Active());
    EXPECT_TRUE(form->ToolButton14->isEnabled());
    EXPECT_TRUE(form->ToolButton38->isEnabled());
    EXPECT_DOUBLE_EQ(Edit.RecorderDuration, shown);

    // The next Record joins onto the real current result, not onto a segment.
    calls.clear();
    Record(3.0, 3.4);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 5, "-start 3 -stop 3.4"), JoinLine(4, 5, 6)}));
    EXPECT_EQ(Now(), (Counters{7, "temp7", 7}));
    EXPECT_NEAR(Edit.RecorderDuration, 2.6, 0.2);
}

TEST_F(RecordingTest, ACutThatWritesNothingRunsNoJoinAndPassesNoLeftoverForItsOutput)
{
    Record(0.4, 1.2);
    Record(2.0, 2.8);
    form->ToolButton14Click();  // temp1 and temp2 stay behind from the undone step
    ASSERT_EQ(Now(), (Counters{1, "temp1", 3}));
    ASSERT_TRUE(fs::exists(Temp(1)));
    const double shown = Edit.RecorderDuration;

    calls.clear();
    Record(1.0, 1.0);  // an empty span: the cutter refuses it
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 1, "-start 1 -stop 1")}));
    EXPECT_FALSE(fs::exists(Temp(1)));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 3}));
    EXPECT_TRUE(LogSays(*logWindow, QStringLiteral("nothing was joined")));
    EXPECT_DOUBLE_EQ(Edit.RecorderDuration, shown);
    EXPECT_TRUE(form->ToolButton14->isEnabled());
    EXPECT_TRUE(form->Panel1->isHidden());

    // On an empty chain, a failed first cut must not bring back the temp0 of an earlier chain.
    form->ToolButton14Click();
    ASSERT_EQ(Now(), (Counters{0, "temp0", 3}));
    ASSERT_TRUE(fs::exists(Temp(0)));
    Record(1.0, 1.0);
    EXPECT_FALSE(fs::exists(Temp(0)));
    EXPECT_EQ(Now(), (Counters{0, "temp0", 3}));
    EXPECT_FALSE(form->FilterGraph2->Active());
}

TEST_F(RecordingTest, AJoinThatWritesNothingLeavesTheCountersAndThePreviousResult)
{
    Record(0.4, 1.2);
    const double shown = Edit.RecorderDuration;

    // A span of another picture size cannot be joined onto this result.
    auto other = SourceSpec();
    other.width = 176;
    other.height = 144;
    const fs::path otherFile = kestrine::test::MakeMedia(other);
    Open(otherFile);
    calls.clear();
    Record(0.4, 1.2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].line, JoinLine(0, 1, 2));
    EXPECT_FALSE(fs::exists(Temp(2)));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_TRUE(LogSays(*logWindow, QStringLiteral("the join wrote no file")));
    EXPECT_DOUBLE_EQ(Edit.RecorderDuration, shown);
    EXPECT_TRUE(form->FilterGraph2->Active());

    // Back on a matching source, recording goes on from the same place.
    Open(source);
    calls.clear();
    Record(2.0, 2.8);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 1, "-start 2 -stop 2.8"), JoinLine(0, 1, 2)}));
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
}

TEST_F(RecordingTest, AResultTheGraphCannotPlayEndsRecordWithTheChainAsItWas)
{
    Record(0.4, 1.2);
    // The join writes a file of its own here, so that spoiling it spoils nothing else.
    rewriteLine = [](std::string line) {
        if (const auto at = line.find(" -append"); at != std::string::npos) line.erase(at, 8);
        return line;
    };
    afterRun = [this](const std::string& line) {
        if (line == JoinLine(0, 1, 2)) std::ofstream(Temp(2), std::ios::trunc) << "not a media file";
    };
    EXPECT_THROW(Record(2.0, 2.8), kestrine::media::EDirectShowException);
    EXPECT_EQ(Now(), (Counters{1, "temp1", 2}));  // temp2 was made, so close must still find it
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_TRUE(form->ToolButton24->isEnabled());
    EXPECT_FALSE(form->CutterRunning());

    afterRun = nullptr;
    rewriteLine = nullptr;
    calls.clear();
    Record(2.0, 2.8);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 1, "-start 2 -stop 2.8"), JoinLine(0, 1, 2)}));
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
}

TEST_F(RecordingTest, CommandsPressedWhileTheCutterRunsAreRefused)
{
    Record(0.4, 1.2);
    form->ToolButton17->setEnabled(true);
    int checked = 0;
    beforeRun = [&](const std::string&) {
        ++checked;
        EXPECT_TRUE(form->CutterRunning());
        EXPECT_FALSE(form->Panel1->isHidden());
        for (QToolButton* b : {form->ToolButton17, form->ToolButton24, form->ToolButton14, form->ToolButton38})
            EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        const std::size_t before = calls.size();
        dialogs->AnswerFile((root / "early.asf").string());
        form->ToolButton24Click();
        form->ToolButton14Click();
        form->ToolButton38Click();
        EXPECT_EQ(calls.size(), before);
        EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 0u);
    };
    calls.clear();
    Record(2.0, 2.8);
    beforeRun = nullptr;
    EXPECT_EQ(checked, 2);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
    EXPECT_FALSE(fs::exists(root / "early.asf"));
    for (QToolButton* b : {form->ToolButton17, form->ToolButton24, form->ToolButton14, form->ToolButton38})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_FALSE(form->CutterRunning());
}

TEST_F(RecordingTest, TheButtonsReachTheirHandlers)
{
    form->ToolButton24->click();
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    form->ToolButton24->click();
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
    form->ToolButton14->click();
    EXPECT_EQ(Now(), (Counters{1, "temp1", 3}));
    dialogs->AnswerFile((root / "clicked.asf").string());
    form->ToolButton38->click();
    EXPECT_TRUE(fs::exists(root / "clicked.asf"));
    EXPECT_EQ(Now(), (Counters{0, "temp0", 3}));
}
