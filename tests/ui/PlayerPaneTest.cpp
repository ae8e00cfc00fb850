// The Player pane's transport, keyframe steps and marks on a source rendered into the Player's graph.
#include "RecordingFixture.h"

#include "core/EditState.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"


namespace kestrine::test {
namespace {

using core::Edit;

class PlayerPaneTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        // What Open does to the graph and the state before the pane's own handlers take over.
        form->FilterGraph1->SetActive(true);
        form->FilterGraph1->EmptyGraph();
        ASSERT_TRUE(platform::SUCCEEDED(form->FilterGraph1->RenderMediaFile(source.string())));
        form->PlayerMediaPosition = form->FilterGraph1->GraphManager().Query<platform::IMediaPosition>();
        ASSERT_TRUE(form->PlayerMediaPosition);
        form->PlayerMediaPosition->put_CurrentPosition(0.0);
        form->PlayerMediaPosition->get_Duration(&Edit.PlayerDuration);
        form->TrackBar1->setEnabled(true);
        form->TrackBar1->SetMax(core::SecondsToSliderUnits(Edit.PlayerDuration));
        form->FilterGraph1->Play();
        form->FilterGraph1->Pause();
        Edit.KeyFrames = ProbeVideoKeyframeTimes(source);
        ASSERT_GE(Edit.KeyFrames.size(), 4u);
    }

    double Position() const
    {
        double now = -1;
        form->PlayerMediaPosition->get_CurrentPosition(&now);
        return now;
    }
};

TEST_F(PlayerPaneTest, NextAndPrevKeyframeLandOnTheReportedKeyframesAndMoveOnlyTheThumb)
{
    int changes = 0;
    form->TrackBar1->OnChange = [&](QObject*) { ++changes; };

    form->ToolButton8Click();
    form->ToolButton8Click();
    // ffmpeg's first keyframe lies just after 0, so two steps from 0 reach the second one.
    ASSERT_GT(Edit.KeyFrames[0], 0.0001);
    EXPECT_NEAR(Edit.PlayerPos, Edit.KeyFrames[1], 0.0005);
    EXPECT_EQ(form->TrackBar1->ThumbPosition(), core::SecondsToSliderUnits(Edit.PlayerPos));
    EXPECT_EQ(form->TrackBar1->Position(), 0);
    EXPECT_EQ(form->StatusBar1->SimpleText(), core::StatusLine(Edit.PlayerPos, Edit.PlayerDuration));

    form->ToolButton1Click();
    EXPECT_NEAR(Edit.PlayerPos, Edit.KeyFrames[0], 0.0005);
    EXPECT_EQ(changes, 0);

    Edit.KeyFrames.clear();
    form->ToolButton8Click();
    EXPECT_NEAR(Edit.PlayerPos, Edit.PlayerDuration, 0.05);
    form->ToolButton1Click();
    EXPECT_NEAR(Edit.PlayerPos, 0.0, 0.0005);
}

TEST_F(PlayerPaneTest, MarksTakeThePositionIntoTheSelectionAndTheHintsButLeaveTheStatusLine)
{
    form->PlayerMediaPosition->put_CurrentPosition(Edit.KeyFrames[1]);
    form->StatusBar1->SetSimpleText("unchanged");
    form->ToolButton13Click();
    form->PlayerMediaPosition->put_CurrentPosition(Edit.KeyFrames[3]);
    form->ToolButton16Click();

    EXPECT_NEAR(Edit.MarkIn, Edit.KeyFrames[1], 0.0005);
    EXPECT_NEAR(Edit.MarkOut, Edit.KeyFrames[3], 0.0005);
    EXPECT_EQ(form->TrackBar1->SelStart(), core::SecondsToSliderUnits(Edit.MarkIn));
    EXPECT_EQ(form->TrackBar1->SelEnd(), core::SecondsToSliderUnits(Edit.MarkOut));
    EXPECT_TRUE(form->ToolButton13->toolTip().startsWith("Mark IN: 00:00:0"));
    EXPECT_TRUE(form->ToolButton16->toolTip().startsWith("Mark OUT: 00:00:0"));
    EXPECT_EQ(form->StatusBar1->SimpleText(), "unchanged");
}

TEST_F(PlayerPaneTest, TheSliderSeeksAndTheEndOfTheSourceStopsThePane)
{
    form->TrackBar1->SetPosition(core::SecondsToSliderUnits(Edit.PlayerDuration) - 5);
    EXPECT_NEAR(Edit.PlayerPos, Edit.PlayerDuration - 0.5, 0.05);

    form->ToolButton5Click();
    EXPECT_TRUE(form->ToolButton5->isChecked());
    EXPECT_TRUE(form->Timer1->isActive());
    ASSERT_TRUE(DispatchUntil([&] { return !form->Timer1->isActive(); }));
    EXPECT_TRUE(form->ToolButton7->isChecked());
    EXPECT_NEAR(Position(), Edit.PlayerDuration, 0.1);
}

TEST_F(PlayerPaneTest, ContinuousReplayRestartsTheSourceFromTheStart)
{
    form->Cont1->setChecked(true);
    form->TrackBar1->SetPosition(core::SecondsToSliderUnits(Edit.PlayerDuration) - 3);
    form->ToolButton5Click();
    ASSERT_TRUE(DispatchUntil([&] { return Position() < 0.25; }));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->ToolButton5->isChecked());
    form->ToolButton7Click();
    EXPECT_FALSE(form->Timer1->isActive());
}

}  // namespace
}  // namespace kestrine::test
