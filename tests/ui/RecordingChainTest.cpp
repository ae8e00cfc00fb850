// Record and Undo driven through the main window with the real cutter on ffmpeg-made media.
#include "RecordingFixture.h"

#include <cmath>

using kestrine::core::Edit;
using kestrine::test::Counters;
using kestrine::test::RecordingTest;
namespace fs = std::filesystem;

namespace {

// The Recorder as LoadResult leaves it: everything enabled, paused at 0 with Stop pressed.
void ExpectLoaded(const kestrine::ui::TForm1& form)
{
    EXPECT_TRUE(form.FilterGraph2->Active());
    for (const QWidget* w : std::initializer_list<const QWidget*>{form.ToolButton14, form.ToolButton28, form.ToolButton32,
                                                                  form.ToolButton38, form.TrackBar2})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(form.ToolButton32->isChecked());
    EXPECT_FALSE(form.ToolButton28->isChecked());
    EXPECT_EQ(form.TrackBar2->Position(), 0);
    EXPECT_EQ(form.TrackBar2->ThumbPosition(), 0);
    EXPECT_EQ(form.TrackBar2->Max(), std::lrint(Edit.RecorderDuration * 10));
    EXPECT_NEAR(Edit.RecorderPos, 0.0, 1e-3);
    EXPECT_TRUE(form.StatusBar2->SimpleText().startsWith(QStringLiteral(" Position: 00:00:00:000            duration: 00:00:0")))
        << form.StatusBar2->SimpleText().toStdString();
    EXPECT_TRUE(form.Panel1->isHidden());
    EXPECT_TRUE(form.ToolButton24->isEnabled());
}

void ExpectEmpty(const kestrine::ui::TForm1& form)
{
    EXPECT_FALSE(form.FilterGraph2->Active());
    for (const QWidget* w : std::initializer_list<const QWidget*>{form.ToolButton14, form.ToolButton28, form.ToolButton32,
                                                                  form.ToolButton38, form.TrackBar2})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(form.ToolButton32->isChecked());
    EXPECT_FALSE(form.ToolButton28->isChecked());
    EXPECT_TRUE(form.StatusBar2->SimpleText().isEmpty());
    EXPECT_EQ(Edit.ResultCounter, 0);
    EXPECT_EQ(Edit.ResultName, "temp0");
}

}  // namespace

TEST_F(RecordingTest, TheWorkedChainWritesEachFileAndAdvancesTheCounters)
{
    const std::string src = source.string();
    Record(0.4, 1.2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(src, 0, "-start 0.4 -stop 1.2")}));  // no join yet
    EXPECT_TRUE(fs::exists(Temp(0)));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    ExpectLoaded(*form);
    EXPECT_NEAR(Edit.RecorderDuration, kestrine::test::ProbeDurationSeconds(Temp(0)), 0.05);
    EXPECT_NEAR(Edit.RecorderDuration, 0.8, 0.2);
    EXPECT_EQ(form->TrackBar2->Frequency(), std::lrint(form->TrackBar2->Max() * 0.1));

    Record(2.0, 2.8);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(src, 0, "-start 0.4 -stop 1.2"), CutLine(src, 1, "-start 2 -stop 2.8"),
                                                 JoinLine(0, 1, 2)}));
    EXPECT_TRUE(fs::exists(Temp(1)));
    EXPECT_TRUE(fs::exists(Temp(2)));
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
    ExpectLoaded(*form);
    EXPECT_NEAR(Edit.RecorderDuration, 1.6, 0.2);

    Record(1.0, 1.6);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[3].line, CutLine(src, 3, "-start 1 -stop 1.6"));
    EXPECT_EQ(calls[4].line, JoinLine(2, 3, 4));
    for (const auto& c : calls) EXPECT_EQ(c.pipeSize, 16384);
    EXPECT_TRUE(fs::exists(Temp(3)));
    EXPECT_TRUE(fs::exists(Temp(4)));
    EXPECT_FALSE(fs::exists(Temp(5)));
    EXPECT_EQ(Now(), (Counters{5, "temp5", 5}));
    ExpectLoaded(*form);
    EXPECT_NEAR(Edit.RecorderDuration, 2.2, 0.2);
    EXPECT_NEAR(Edit.RecorderDuration, kestrine::test::ProbeDurationSeconds(Temp(4)), 0.05);
    EXPECT_EQ(form->TrackBar2->Frequency(), std::lrint(form->TrackBar2->Max() * 0.1));

    // The cutter's reports went to the LOG, each run closed by its blank line.
    EXPECT_GE(logWindow->Memo1->Lines().count(QStringLiteral(" ")), 5);
}

TEST_F(RecordingTest, CommandLinesCarryTheOptionsCheckedAtEachRun)
{
    const std::string src = source.string();
    struct Case {
        bool cvb;
        bool noIndex;
        std::string tail;
    };
    for (const Case& c : {Case{false, false, ""}, Case{false, true, " -noindex"}, Case{true, false, " -cvb"},
                          Case{true, true, " -cvb -noindex"}}) {
        SCOPED_TRACE(c.tail);
        form->CVB1->setChecked(c.cvb);
        form->Noindex1->setChecked(c.noIndex);
        calls.clear();
        Record(0.4, 1.2);
        Record(2.0, 2.8);
        EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(src, 0, "-start 0.4 -stop 1.2", c.tail),
                                                     CutLine(src, 1, "-start 2 -stop 2.8", c.tail), JoinLine(0, 1, 2, c.tail)}));
        EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
        form->ResetRecorder(true);
    }

    // Toggled between Records, an option changes only the runs after it.
    form->CVB1->setChecked(false);
    form->Noindex1->setChecked(false);
    calls.clear();
    Record(0.4, 1.2);
    form->Noindex1->setChecked(true);
    Record(2.0, 2.8);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(src, 0, "-start 0.4 -stop 1.2"),
                                                 CutLine(src, 1, "-start 2 -stop 2.8", " -noindex"), JoinLine(0, 1, 2, " -noindex")}));
}

TEST_F(RecordingTest, TwoRecordsThenTwoUndosEmptyTheRecorderAndTheNextRecordCutsIntoTempZero)
{
    Record(0.4, 1.2);
    const double firstDuration = Edit.RecorderDuration;
    Record(2.0, 2.6);
    const int ticks = form->TrackBar2->Frequency();
    ASSERT_EQ(Now(), (Counters{3, "temp3", 3}));

    form->ToolButton28->setChecked(true);  // as if playing
    calls.clear();
    form->ToolButton14Click();
    EXPECT_TRUE(calls.empty());  // Undo runs no cutter
    EXPECT_EQ(Now(), (Counters{1, "temp1", 3}));
    ExpectLoaded(*form);
    EXPECT_DOUBLE_EQ(Edit.RecorderDuration, firstDuration);  // temp0 is back
    EXPECT_EQ(form->TrackBar2->Frequency(), ticks);        // Undo leaves the tick spacing alone
    // temp0 is given back from temp2, which the join had made of it; the segment stays
    EXPECT_TRUE(fs::exists(Temp(0)) && fs::exists(Temp(1)) && !fs::exists(Temp(2)));

    form->TrackBar2->SetPosition(5);
    form->ToolButton14Click();
    ExpectEmpty(*form);
    EXPECT_EQ(Edit.HighestResult, 3);
    EXPECT_EQ(form->TrackBar2->Position(), 5);  // the thumb stays on the disabled slider

    Record(0.4, 1.2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 0, "-start 0.4 -stop 1.2")}));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 3}));
    ExpectLoaded(*form);
}

TEST_F(RecordingTest, UndoAfterThreeRecordsLoadsTheSecondResultAndTheNextRecordOverwritesTheUndoneStep)
{
    Record(0.4, 1.2);
    Record(2.0, 2.8);
    const double secondDuration = Edit.RecorderDuration;
    Record(1.0, 1.6);
    form->ToolButton14Click();
    EXPECT_EQ(Now(), (Counters{3, "temp3", 5}));
    EXPECT_DOUBLE_EQ(Edit.RecorderDuration, secondDuration);

    calls.clear();
    Record(3.0, 3.4);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 3, "-start 3 -stop 3.4"), JoinLine(2, 3, 4)}));
    EXPECT_EQ(Now(), (Counters{5, "temp5", 5}));
    EXPECT_NEAR(Edit.RecorderDuration, 2.0, 0.2);
}

TEST_F(RecordingTest, MovingTheSliderSeeksTheResultAndRewritesTheStatusLine)
{
    Record(0.4, 2.4);
    form->TrackBar2->SetPosition(10);
    EXPECT_NEAR(Edit.RecorderPos, 1.0, 0.05);
    EXPECT_TRUE(form->StatusBar2->SimpleText().startsWith(QStringLiteral(" Position: 00:00:0")));
    EXPECT_TRUE(form->StatusBar2->SimpleText().contains(QStringLiteral("            duration: 00:00:01:9")))
        << form->StatusBar2->SimpleText().toStdString();

    // A new Record brings the slider back to 0, seeking there again.
    Record(0.4, 1.2);
    EXPECT_EQ(form->TrackBar2->Position(), 0);
    EXPECT_NEAR(Edit.RecorderPos, 0.0, 1e-3);
}

TEST_F(RecordingTest, TheKeyframeQueryFillsKeyFramesWithTheNoticeShownOnlyMeanwhile)
{
    Edit.PlayerDuration = kestrine::test::ProbeDurationSeconds(source);
    form->ToolButton17->setEnabled(true);
    form->QueryKeyFrames();
    const std::vector<double> expected = kestrine::test::ProbeVideoKeyframeTimes(source);
    ASSERT_EQ(Edit.KeyFrames.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(Edit.KeyFrames[i], expected[i], 0.0011);
    EXPECT_TRUE(form->Panel1->isHidden());
    EXPECT_TRUE(form->ToolButton17->isEnabled());
    EXPECT_FALSE(form->CutterRunning());
}
