// The Recorder pane's transport over a result really cut by the cutter and played by the graph.
#include "RecordingFixture.h"

#include "core/EditState.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"

#include <QThread>

namespace kestrine::test {
namespace {

using core::Edit;

class RecorderPaneTest : public RecordingTest {
protected:
    // A short result, so that playing it to its end is quick.
    void RecordShortResult()
    {
        Record(0.0, 1.0);
        ASSERT_EQ(Edit.ResultCounter, 1);
    }
};

TEST_F(RecorderPaneTest, PlayAndStopSwitchTheButtonsAndTheTimerAndStopKeepsThePosition)
{
    RecordShortResult();
    ASSERT_TRUE(form->ToolButton32->isChecked());

    form->ToolButton28Click();
    EXPECT_TRUE(form->ToolButton28->isChecked());
    EXPECT_FALSE(form->ToolButton32->isChecked());
    EXPECT_TRUE(form->Timer2->isActive());

    ASSERT_TRUE(DispatchUntil([&] {
        double now = 0;
        form->RecorderMediaPosition->get_CurrentPosition(&now);
        return now > 0.2;
    }));
    form->ToolButton32Click();
    EXPECT_TRUE(form->ToolButton32->isChecked());
    EXPECT_FALSE(form->ToolButton28->isChecked());
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_GT(Edit.RecorderPos, 0.2);

    // Paused: the position stays where Stop left it, and the status line says so.
    const double stoppedAt = Edit.RecorderPos;
    QThread::msleep(300);
    double later = -1;
    form->RecorderMediaPosition->get_CurrentPosition(&later);
    EXPECT_DOUBLE_EQ(later, stoppedAt);
    EXPECT_EQ(form->StatusBar2->SimpleText(), core::StatusLine(stoppedAt, Edit.RecorderDuration));
}

TEST_F(RecorderPaneTest, TheTickMovesOnlyTheThumb)
{
    RecordShortResult();
    form->RecorderMediaPosition->put_CurrentPosition(0.55);
    int changes = 0;
    form->TrackBar2->OnChange = [&](QObject*) { ++changes; };

    form->Timer2Timer();

    EXPECT_EQ(form->TrackBar2->ThumbPosition(), core::SecondsToSliderUnits(Edit.RecorderPos));
    EXPECT_EQ(form->TrackBar2->Position(), 0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(form->StatusBar2->SimpleText(), core::StatusLine(Edit.RecorderPos, Edit.RecorderDuration));
}

TEST_F(RecorderPaneTest, TheEndOfTheResultStopsThePaneWithoutContinuousReplay)
{
    RecordShortResult();
    ASSERT_FALSE(form->Cont1->isChecked());
    form->ToolButton28Click();

    ASSERT_TRUE(DispatchUntil([&] { return !form->Timer2->isActive(); }));
    EXPECT_TRUE(form->ToolButton32->isChecked());
    EXPECT_FALSE(form->ToolButton28->isChecked());
    EXPECT_NEAR(Edit.RecorderPos, Edit.RecorderDuration, 0.1);
}

TEST_F(RecorderPaneTest, ContinuousReplayRestartsTheResultAndKeepsPlaying)
{
    RecordShortResult();
    form->Cont1->setChecked(true);
    form->ToolButton28Click();

    // Past the end once: the position comes back near the start while the pane still plays.
    bool wasNearTheEnd = false;
    ASSERT_TRUE(DispatchUntil([&] {
        double now = 0;
        form->RecorderMediaPosition->get_CurrentPosition(&now);
        if (now > Edit.RecorderDuration - 0.3) wasNearTheEnd = true;
        return wasNearTheEnd && now < 0.5;
    }));
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_TRUE(form->ToolButton28->isChecked());
    form->ToolButton32Click();
}

TEST_F(RecorderPaneTest, AFailedCompletionStopsEvenWithContinuousReplay)
{
    RecordShortResult();
    form->Cont1->setChecked(true);
    form->ToolButton28Click();
    form->FilterGraph2GraphComplete(form->FilterGraph2, platform::E_FAIL, nullptr);
    EXPECT_TRUE(form->ToolButton32->isChecked());
    EXPECT_FALSE(form->Timer2->isActive());
}

}  // namespace
}  // namespace kestrine::test
