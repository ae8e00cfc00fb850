// Each pane's media controls beside its transport: volume slider and mute box, the aspect box,
// double-click for full screen and right-click to play or stop. Both panes share one set of
// handlers, told apart by which controls they act on.
#include "ui/Unit1.h"

#include "core/EditState.h"
#include "media/VideoWindow.h"
#include "ui/VolumeFromSlider.h"

namespace kestrine::ui {

using core::Edit;

TForm1::PaneControls TForm1::PlayerControls()
{
    return {FilterGraph1, VideoWindow1, TrackBar1, Timer1, ToolButton5, ToolButton7, TrackBar3, CheckBox3, CheckBox1,
            Edit.PlayerVolume, PlayerMuteSavedPosition};
}

TForm1::PaneControls TForm1::RecorderControls()
{
    return {FilterGraph2, VideoWindow2, TrackBar2, Timer2, ToolButton28, ToolButton32, TrackBar4, CheckBox4, CheckBox2,
            Edit.RecorderVolume, RecorderMuteSavedPosition};
}

void TForm1::ConnectMediaControlHandlers()
{
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(CheckBox2, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { CheckBox3Click(); });
    connect(CheckBox4, &QCheckBox::clicked, this, [this] { CheckBox4Click(); });
    TrackBar3->OnChange = [this](QObject*) { TrackBar3Change(); };
    TrackBar4->OnChange = [this](QObject*) { TrackBar4Change(); };
    TrackBar3->OnEnter = [this](QObject*) { TrackBar3Enter(); };
    TrackBar4->OnEnter = [this](QObject*) { TrackBar4Enter(); };
    VideoWindow1->OnDblClick = [this](QObject*) { VideoWindow1DblClick(); };
    VideoWindow2->OnDblClick = [this](QObject*) { VideoWindow2DblClick(); };
    VideoWindow1->OnMouseDown = [this](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
        VideoWindow1MouseDown(button);
    };
    VideoWindow2->OnMouseDown = [this](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
        VideoWindow2MouseDown(button);
    };
}

void TForm1::FocusPositionSlider(const PaneControls& pane)
{
    if (pane.positionSlider->isEnabled()) pane.positionSlider->setFocus();
}

void TForm1::VolumeSliderChanged(const PaneControls& pane)
{
    pane.volume = VolumeFromSlider(pane.volumeSlider->Position());
    pane.graph->SetAudioVolume(pane.volume);
    pane.volumeSlider->SetSelStart(pane.volumeSlider->Position());
}

void TForm1::MuteBoxClicked(const PaneControls& pane)
{
    if (pane.muteBox->isChecked()) {
        pane.mutedAt = pane.volumeSlider->Position();
        pane.volumeSlider->SetPosition(pane.volumeSlider->Max());
        pane.volumeSlider->setEnabled(false);
        pane.volume = 0;
        pane.graph->SetAudioVolume(0);
    } else {
        pane.volumeSlider->setEnabled(true);
        pane.volumeSlider->SetPosition(pane.mutedAt);
        const int restored = VolumeFromSlider(pane.volumeSlider->Position());
        pane.graph->SetAudioVolume(restored);
        // A graph with nothing audible yet cannot say what it was given; reading it back would
        // leave the next Play silent while the slider shows a volume.
        pane.volume = pane.graph->ReadAudioVolume().value_or(restored);
    }
    FocusPositionSlider(pane);
}

void TForm1::AspectBoxClicked(const PaneControls& pane)
{
    pane.video->VMROptions().SetKeepAspectRatio(pane.aspectBox->isChecked());
    FocusPositionSlider(pane);
}

void TForm1::VideoDoubleClicked(const PaneControls& pane)
{
    if (pane.graph->Active()) pane.video->SetFullScreen(!pane.video->FullScreen());
    FocusPositionSlider(pane);
}

void TForm1::VideoMouseDown(const PaneControls& pane, Qt::MouseButton button)
{
    if (button == Qt::RightButton && pane.graph->Active()) {
        // A click of the button itself, so its handler runs as if the user had pressed it.
        if (pane.timer->isActive()) pane.stopButton->click();
        else pane.playButton->click();
        return;
    }
    FocusPositionSlider(pane);
}

void TForm1::CheckBox1Click() { AspectBoxClicked(PlayerControls()); }
void TForm1::CheckBox2Click() { AspectBoxClicked(RecorderControls()); }
void TForm1::CheckBox3Click() { MuteBoxClicked(PlayerControls()); }
void TForm1::CheckBox4Click() { MuteBoxClicked(RecorderControls()); }
void TForm1::TrackBar3Change() { VolumeSliderChanged(PlayerControls()); }
void TForm1::TrackBar4Change() { VolumeSliderChanged(RecorderControls()); }
void TForm1::TrackBar3Enter() {}
void TForm1::TrackBar4Enter() {}
void TForm1::VideoWindow1DblClick() { VideoDoubleClicked(PlayerControls()); }
void TForm1::VideoWindow2DblClick() { VideoDoubleClicked(RecorderControls()); }
void TForm1::VideoWindow1MouseDown(Qt::MouseButton Button) { VideoMouseDown(PlayerControls(), Button); }
void TForm1::VideoWindow2MouseDown(Qt::MouseButton Button) { VideoMouseDown(RecorderControls(), Button); }

}  // namespace kestrine::ui
