// The Recorder pane's transport: Play, Stop, the refresh tick and the end of the result.
#include "ui/Unit1.h"

#include "core/EditState.h"
#include "core/SliderUnits.h"

namespace kestrine::ui {

using core::Edit;

void TForm1::ConnectRecorderPaneHandlers()
{
    connect(ToolButton28, &QToolButton::clicked, this, [this] { ToolButton28Click(); });
    connect(ToolButton32, &QToolButton::clicked, this, [this] { ToolButton32Click(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    FilterGraph2->OnGraphComplete = [this](QObject* sender, platform::HRESULT result, platform::IBaseFilter* renderer) {
        FilterGraph2GraphComplete(sender, result, renderer);
    };
}

void TForm1::FocusRecorderSlider()
{
    if (TrackBar2->isEnabled()) TrackBar2->setFocus();
}

void TForm1::ToolButton28Click()
{
    ToolButton28->setChecked(true);
    FilterGraph2->SetAudioVolume(Edit.RecorderVolume);
    FilterGraph2->Play();
    Timer2->start();
    FocusRecorderSlider();
}

void TForm1::ToolButton32Click()
{
    ToolButton32->setChecked(true);
    FilterGraph2->Pause();
    Timer2->stop();
    if (RecorderMediaPosition) RecorderMediaPosition->get_CurrentPosition(&Edit.RecorderPos);
    ShowRecorderTime();
    FocusRecorderSlider();
}

void TForm1::Timer2Timer()
{
    if (RecorderMediaPosition) RecorderMediaPosition->get_CurrentPosition(&Edit.RecorderPos);
    // The thumb alone: moving the stored position would seek on every tick.
    TrackBar2->SetThumbPosition(core::SecondsToSliderUnits(Edit.RecorderPos));
    ShowRecorderTime();
}

void TForm1::FilterGraph2GraphComplete(QObject*, platform::HRESULT Result, platform::IBaseFilter*)
{
    if (Result == 0 && Cont1->isChecked()) {
        if (RecorderMediaPosition) RecorderMediaPosition->put_CurrentPosition(0.0);
        return;
    }
    ToolButton32Click();
}

}  // namespace kestrine::ui
