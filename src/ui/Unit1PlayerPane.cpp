// The Player pane's transport and navigation: Play, Stop, the refresh tick, the slider,
// keyframe steps, the marks and the end of the source.
#include "ui/Unit1.h"

#include "core/EditState.h"
#include "core/KeyFrameSearch.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"

#include <vector>

namespace kestrine::ui {

using core::Edit;

void TForm1::ConnectPlayerPaneHandlers()
{
    connect(ToolButton17, &QToolButton::clicked, this, [this] { ToolButton17Click(); });
    connect(ToolButton5, &QToolButton::clicked, this, [this] { ToolButton5Click(); });
    connect(ToolButton7, &QToolButton::clicked, this, [this] { ToolButton7Click(); });
    connect(ToolButton1, &QToolButton::clicked, this, [this] { ToolButton1Click(); });
    connect(ToolButton8, &QToolButton::clicked, this, [this] { ToolButton8Click(); });
    connect(ToolButton13, &QToolButton::clicked, this, [this] { ToolButton13Click(); });
    connect(ToolButton16, &QToolButton::clicked, this, [this] { ToolButton16Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    TrackBar1->OnChange = [this](QObject*) { TrackBar1Change(); };
    FilterGraph1->OnGraphComplete = [this](QObject* sender, platform::HRESULT result, platform::IBaseFilter* renderer) {
        FilterGraph1GraphComplete(sender, result, renderer);
    };
}

void TForm1::FocusPlayerSlider()
{
    if (TrackBar1->isEnabled()) TrackBar1->setFocus();
}

void TForm1::ReadPlayerPosition()
{
    if (PlayerMediaPosition) PlayerMediaPosition->get_CurrentPosition(&Edit.PlayerPos);
}

void TForm1::SeekPlayer(double seconds)
{
    if (PlayerMediaPosition) PlayerMediaPosition->put_CurrentPosition(seconds);
}

void TForm1::ShowPlayerTime() { StatusBar1->SetSimpleText(core::StatusLine(Edit.PlayerPos, Edit.PlayerDuration)); }

void TForm1::ToolButton5Click()
{
    ToolButton5->setChecked(true);
    FilterGraph1->SetAudioVolume(Edit.PlayerVolume);
    FilterGraph1->Play();
    Timer1->start();
    FocusPlayerSlider();
}

void TForm1::ToolButton7Click()
{
    ToolButton7->setChecked(true);
    FilterGraph1->Pause();
    Timer1->stop();
    ReadPlayerPosition();
    ShowPlayerTime();
    FocusPlayerSlider();
}

void TForm1::Timer1Timer()
{
    ReadPlayerPosition();
    // The thumb alone: moving the stored position would seek on every tick.
    TrackBar1->SetThumbPosition(core::SecondsToSliderUnits(Edit.PlayerPos));
    ShowPlayerTime();
}

void TForm1::TrackBar1Change()
{
    SeekPlayer(core::SliderUnitsToSeconds(TrackBar1->Position()));
    ReadPlayerPosition();
    ShowPlayerTime();
}

void TForm1::StepToKeyFrame(double target)
{
    SeekPlayer(target);
    ReadPlayerPosition();
    TrackBar1->SetThumbPosition(core::SecondsToSliderUnits(Edit.PlayerPos));
    ShowPlayerTime();
    FocusPlayerSlider();
}

void TForm1::ToolButton1Click()
{
    ReadPlayerPosition();
    StepToKeyFrame(core::FindPrevKeyFrame(Edit.PlayerPos));
}

void TForm1::ToolButton8Click()
{
    ReadPlayerPosition();
    StepToKeyFrame(core::FindNextKeyFrame(Edit.PlayerPos));
}

void TForm1::ToolButton13Click()
{
    ReadPlayerPosition();
    Edit.MarkIn = Edit.PlayerPos;
    TrackBar1->SetThumbPosition(core::SecondsToSliderUnits(Edit.PlayerPos));
    markInSet_ = true;
    ShowCutStart();
    core::SplitTime(Edit.PlayerPos);
    ToolButton13->setToolTip(core::TimeText(core::TimeTextKind::MarkIn, Edit));
    FocusPlayerSlider();
}

void TForm1::ToolButton16Click()
{
    ReadPlayerPosition();
    Edit.MarkOut = Edit.PlayerPos;
    const int units = core::SecondsToSliderUnits(Edit.PlayerPos);
    TrackBar1->SetThumbPosition(units);
    TrackBar1->SetSelEnd(units);
    core::SplitTime(Edit.PlayerPos);
    ToolButton16->setToolTip(core::TimeText(core::TimeTextKind::MarkOut, Edit));
    FocusPlayerSlider();
}

void TForm1::ShowKeyFrameTicks()
{
    std::vector<int> ticks;
    ticks.reserve(Edit.KeyFrames.size());
    for (const double k : Edit.KeyFrames) ticks.push_back(core::SecondsToSliderUnits(k));
    TrackBar1->SetTicks(std::move(ticks));
    ShowCutStart();
}

void TForm1::ShowCutStart()
{
    // The selection begins where Record will really begin: on a keyframe, not on the IN mark itself.
    if (!markInSet_) return;
    const double start = core::FindCutStart(Edit.MarkIn, Edit.KeyFrames, CVB1->isChecked()).value_or(Edit.MarkIn);
    TrackBar1->SetSelStart(core::SecondsToSliderUnits(start));
}

void TForm1::FilterGraph1GraphComplete(QObject*, platform::HRESULT Result, platform::IBaseFilter*)
{
    if (Result == 0 && Cont1->isChecked()) {
        SeekPlayer(0.0);
        return;
    }
    ToolButton7Click();
}

}  // namespace kestrine::ui
