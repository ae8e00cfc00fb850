// A whole editing run through the handlers, with real media, the real cutter and the pictures the
// panes show compared with ffmpeg's own decode.
#include "EditorFixture.h"

#include "core/ResultChain.h"

#include "core/SliderUnits.h"
#include "core/TimeText.h"

namespace kestrine::test {
namespace {

using core::Edit;

// 4 s of WMV8 with WMA2 at 320 x 240 (the video window's size, so pictures compare unscaled),
// a keyframe every 0.2 s.
MediaSpec Source(double seconds = 4.0)
{
    MediaSpec spec;
    spec.durationSeconds = seconds;
    spec.gopLength = 5;
    return spec;
}

class EditingRunTest : public EditorTest {
protected:
    static std::string Result() { return core::CurrentResultPath(Edit); }
};

TEST_F(EditingRunTest, OpenPausesOnTheFirstPictureWithTheMarksOverTheWholeFile)
{
    const auto source = MakeMedia(Source());
    OpenThroughDialog(source);

    const double duration = ProbeDurationSeconds(source);
    EXPECT_NEAR(Edit.PlayerDuration, duration, 0.05);
    EXPECT_EQ(Edit.PlayerPos, 0.0);
    EXPECT_TRUE(form->StatusBar1->SimpleText().startsWith(" Position: 00:00:00:000")) << form->StatusBar1->SimpleText().toStdString();
    EXPECT_EQ(form->StatusBar1->SimpleText(), core::StatusLine(0.0, Edit.PlayerDuration));
    EXPECT_TRUE(form->ToolButton7->isChecked());
    EXPECT_FALSE(form->ToolButton5->isChecked());
    EXPECT_EQ(form->ToolButton13->toolTip(), QStringLiteral("Mark IN: 00:00:00:000"));
    EXPECT_TRUE(form->ToolButton16->toolTip().startsWith(QStringLiteral("Mark OUT: 00:00:0"))) << form->ToolButton16->toolTip().toStdString();
    EXPECT_EQ(Edit.MarkIn, 0.0);
    EXPECT_EQ(Edit.MarkOut, Edit.PlayerDuration);
    EXPECT_EQ(form->TrackBar1->Max(), core::SecondsToSliderUnits(Edit.PlayerDuration));
    EXPECT_EQ(form->TrackBar1->Position(), 0);
    EXPECT_EQ(form->TrackBar1->SelStart(), 0);
    EXPECT_EQ(form->TrackBar1->SelEnd(), 0);
    for (QWidget* w : std::initializer_list<QWidget*>{form->TrackBar1, form->ToolButton5, form->ToolButton7, form->ToolButton13,
                                                     form->ToolButton16, form->ToolButton24, form->ToolButton1, form->ToolButton8})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->VideoWindow1->FilterGraph(), form->FilterGraph1);
    EXPECT_EQ(form->VideoWindow2->FilterGraph(), form->FilterGraph2);

    // The keyframe report was read at Open (the option is on by default).
    const std::vector<double> probed = ProbeVideoKeyframeTimes(source);
    ASSERT_EQ(Edit.KeyFrames.size(), probed.size());
    for (std::size_t i = 0; i < probed.size(); ++i) EXPECT_NEAR(Edit.KeyFrames[i], probed[i], 0.0011) << i;

    EXPECT_TRUE(WaitForFrame(*form->VideoWindow1, source, 0.0, {1.0, 2.0}));
}

TEST_F(EditingRunTest, NextKeyframeTwiceFromTheStartShowsTheSecondKeyframe)
{
    const auto source = MakeMedia(Source());
    OpenThroughDialog(source);
    ASSERT_GE(Edit.KeyFrames.size(), 3u);

    form->ToolButton8Click();
    form->ToolButton8Click();
    EXPECT_NEAR(Edit.PlayerPos, Edit.KeyFrames[1], 0.0005);
    EXPECT_EQ(form->TrackBar1->ThumbPosition(), core::SecondsToSliderUnits(Edit.KeyFrames[1]));
    EXPECT_TRUE(WaitForFrame(*form->VideoWindow1, source, Edit.KeyFrames[1], {0.0, Edit.KeyFrames[2]}));
}

TEST_F(EditingRunTest, MarkRecordPlayUndoAndSaveAcrossTwoSources)
{
    const auto first = MakeMedia(Source());
    const auto second = MakeMedia(Source(3.0));
    OpenThroughDialog(first);
    ASSERT_GE(Edit.KeyFrames.size(), 6u);

    // IN on the second keyframe, OUT three keyframes further on.
    form->ToolButton8Click();
    form->ToolButton8Click();
    form->ToolButton13Click();
    const double in = Edit.PlayerPos;
    for (int i = 0; i < 3; ++i) form->ToolButton8Click();
    form->ToolButton16Click();
    const double out = Edit.PlayerPos;
    EXPECT_EQ(Edit.MarkIn, in);
    EXPECT_EQ(Edit.MarkOut, out);
    EXPECT_EQ(form->TrackBar1->SelStart(), core::SecondsToSliderUnits(in));
    EXPECT_EQ(form->TrackBar1->SelEnd(), core::SecondsToSliderUnits(out));

    form->ToolButton24Click();
    const double frame = 1.0 / 25;
    const std::string firstResult = Result();
    EXPECT_NEAR(ProbeVideoDurationSeconds(firstResult), out - in, frame + 0.001);
    EXPECT_TRUE(WaitForFrame(*form->VideoWindow2, first, in, {in + 0.4, 0.0}));

    // The Recorder plays its result to the end and stops there.
    form->ToolButton28Click();
    EXPECT_TRUE(form->Timer2->isActive());
    ASSERT_TRUE(DispatchUntil([&] { return form->ToolButton32->isChecked(); }));
    EXPECT_FALSE(form->Timer2->isActive());

    // With continuous replay it starts again at 0 and keeps playing.
    form->Cont1Click();
    form->ToolButton28Click();
    double lowest = 1e9;
    double highest = 0;
    ASSERT_TRUE(DispatchUntil(
        [&] {
            double now = 0;
            form->RecorderMediaPosition->get_CurrentPosition(&now);
            highest = std::max(highest, now);
            if (highest > (out - in) * 0.7) lowest = std::min(lowest, now);
            return lowest < 0.15;
        },
        20000))
        << "highest " << highest << " lowest " << lowest;
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_TRUE(form->ToolButton28->isChecked());
    form->ToolButton32Click();
    form->Cont1Click();

    // A span from another source joins the first.
    OpenThroughDialog(second);
    form->ToolButton8Click();
    form->ToolButton13Click();
    const double in2 = Edit.PlayerPos;
    for (int i = 0; i < 4; ++i) form->ToolButton8Click();
    form->ToolButton16Click();
    const double out2 = Edit.PlayerPos;
    form->ToolButton24Click();
    EXPECT_NEAR(ProbeVideoDurationSeconds(Result()), (out - in) + (out2 - in2), 2 * frame + 0.001);

    // Undo goes back to the first span alone.
    form->ToolButton14Click();
    EXPECT_EQ(Result(), firstResult);
    EXPECT_NEAR(ProbeVideoDurationSeconds(Result()), out - in, frame + 0.001);

    const auto saved = root / "saved.wmv";
    dialogs->AnswerFile(saved.string());
    form->ToolButton38Click();
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_NEAR(ProbeVideoDurationSeconds(saved), out - in, frame + 0.001);
    const ProgramResult decode = RunProgram("ffmpeg", {"-v", "error", "-xerror", "-i", saved.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0) << decode.err;
    EXPECT_TRUE(decode.err.empty()) << decode.err;
}

TEST_F(EditingRunTest, TheSliderSeeksWhileTheTimerMovesOnlyTheThumb)
{
    const auto source = MakeMedia(Source());
    OpenThroughDialog(source);

    form->TrackBar1->SetPosition(21);
    EXPECT_NEAR(PlayerPosition(), 2.1, 0.0005);
    EXPECT_NEAR(Edit.PlayerPos, 2.1, 0.0005);
    EXPECT_EQ(form->StatusBar1->SimpleText(), core::StatusLine(Edit.PlayerPos, Edit.PlayerDuration));

    int changes = 0;
    form->TrackBar1->OnChange = [&](QObject*) { ++changes; };
    form->ToolButton5Click();
    ASSERT_TRUE(DispatchUntil([&] { return form->TrackBar1->ThumbPosition() >= 24; }));
    form->ToolButton7Click();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(form->TrackBar1->Position(), 21);
    EXPECT_GE(Edit.PlayerPos, 2.35);
}

TEST_F(EditingRunTest, SoundAloneDetachesBothVideoWindowsAndVideoAttachesThemAgain)
{
    MediaSpec sound;
    sound.videoCodec.clear();
    const auto wma = MakeMedia(sound);
    ASSERT_EQ(wma.extension(), ".wma");
    const auto wmv = MakeMedia(Source());

    OpenThroughDialog(wma);
    EXPECT_EQ(form->VideoWindow1->FilterGraph(), nullptr);
    EXPECT_EQ(form->VideoWindow2->FilterGraph(), nullptr);
    EXPECT_NEAR(Edit.PlayerDuration, ProbeDurationSeconds(wma), 0.05);

    OpenThroughDialog(wmv);
    EXPECT_EQ(form->VideoWindow1->FilterGraph(), form->FilterGraph1);
    EXPECT_EQ(form->VideoWindow2->FilterGraph(), form->FilterGraph2);
    EXPECT_TRUE(WaitForFrame(*form->VideoWindow1, wmv, 0.0, {1.0, 2.0}));
}

TEST_F(EditingRunTest, ACancelledOpenChangesNothing)
{
    form->ToolButton17Click();  // no answer queued: the user cancels
    EXPECT_FALSE(form->FilterGraph1->Active());
    EXPECT_FALSE(form->ToolButton5->isEnabled());
    EXPECT_FALSE(form->TrackBar1->isEnabled());
    EXPECT_TRUE(form->OpenDialog1.FileName.empty());
}

}  // namespace
}  // namespace kestrine::test
