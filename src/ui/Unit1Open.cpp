// Open: a source file into the Player, paused on its first picture, with the marks spanning it.
#include "ui/Unit1.h"

#include "core/EditState.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"
#include "media/VideoWindow.h"
#include "platform/ShortPath.h"
#include "platform/com/WideString.h"

#include <algorithm>
#include <cctype>

namespace kestrine::ui {

using core::Edit;

namespace {

// The last path element's extension with its dot, in lower case; empty when it has none.
std::string LowerExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

void TForm1::ToolButton17Click()
{
    // The LOG and the keyframe list belong to the run in progress until it ends.
    if (Busy()) return;
    // The dialog keeps the name chosen; what stood before must be known to go back to it.
    const PlayerSource previous = CurrentPlayerSource();
    if (!OpenDialog1.Execute()) return;
    OpenChosen(OpenDialog1.FileName, previous);
}

TForm1::PlayerSource TForm1::CurrentPlayerSource() const
{
    return {OpenDialog1.FileName, VideoWindow1->FilterGraph(), VideoWindow2->FilterGraph(), FilterGraph1->Active(),
            Edit.PlayerPos, Timer1->isActive()};
}

void TForm1::OpenSource(const std::string& path)
{
    if (Busy()) return;
    OpenChosen(path, CurrentPlayerSource());
}

void TForm1::OpenChosen(const std::string& path, const PlayerSource& previous)
{
    try {
        OpenDialog1.FileName = platform::ShortPathName(path);
        if (!FilterGraph1->Active()) FilterGraph1->SetActive(true);

        // Sound alone: no renderer windows in either pane.
        const bool soundOnly = LowerExtension(OpenDialog1.FileName) == ".wma";
        VideoWindow1->SetFilterGraph(soundOnly ? nullptr : FilterGraph1);
        VideoWindow2->SetFilterGraph(soundOnly ? nullptr : FilterGraph2);

        FilterGraph1->EmptyGraph();
        FilterGraph1->RenderMediaFile(platform::ToWide(OpenDialog1.FileName));
    } catch (...) {
        // Record would otherwise cut the file that failed with the marks of the one before.
        RestorePlayerSource(previous);
        throw;
    }

    EnableSourceControls(true);
    TrackBar1->setFocus();

    PlayerMediaPosition = FilterGraph1->GraphManager().Query<platform::IMediaPosition>();
    SeekPlayer(0.0);
    TrackBar1->SetThumbPosition(0);
    ReadPlayerPosition();
    if (PlayerMediaPosition) PlayerMediaPosition->get_Duration(&Edit.PlayerDuration);

    ShowPlayerTime();
    core::SplitTime(Edit.PlayerPos);
    ToolButton13->setToolTip(core::TimeText(core::TimeTextKind::MarkIn, Edit));
    core::SplitTime(Edit.PlayerDuration);
    ToolButton16->setToolTip(core::TimeText(core::TimeTextKind::MarkOut, Edit));

    TrackBar1->SetPosition(0);
    TrackBar1->SetSelStart(0);
    TrackBar1->SetSelEnd(0);
    Edit.MarkIn = Edit.PlayerPos;
    Edit.MarkOut = Edit.PlayerDuration;
    TrackBar1->SetMax(core::SecondsToSliderUnits(Edit.PlayerDuration));

    // Running for a moment puts the first picture in the window; then it stands paused.
    FilterGraph1->Play();
    FilterGraph1->Pause();
    ToolButton7->setChecked(true);

    Log().Clear();
    Edit.KeyFrames.clear();
    markInSet_ = false;
    if (GetKf1->isChecked()) QueryKeyFrames();
    ShowKeyFrameTicks();
}

void TForm1::EnableSourceControls(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{TrackBar1, ToolButton5, ToolButton7, ToolButton13,
                                                           ToolButton16, ToolButton24, ToolButton1, ToolButton8})
        control->setEnabled(enabled);
}

void TForm1::RestorePlayerSource(const PlayerSource& previous)
{
    OpenDialog1.FileName = previous.fileName;
    VideoWindow1->SetFilterGraph(previous.video1Graph);
    VideoWindow2->SetFilterGraph(previous.video2Graph);
    FilterGraph1->EmptyGraph();
    if (previous.fileName.empty()) {
        FilterGraph1->SetActive(previous.graphActive);
        return;
    }
    // The earlier source goes back into the graph at the place it stood, paused or playing as it was.
    try {
        FilterGraph1->RenderMediaFile(platform::ToWide(previous.fileName));
        PlayerMediaPosition = FilterGraph1->GraphManager().Query<platform::IMediaPosition>();
        SeekPlayer(previous.position);
        ReadPlayerPosition();
        if (previous.playing) {
            FilterGraph1->SetAudioVolume(Edit.PlayerVolume);
            FilterGraph1->Play();
        } else {
            FilterGraph1->Play();
            FilterGraph1->Pause();
        }
    } catch (...) {
        // The earlier file has gone too: nothing is left to cut from.
        ForgetSource();
    }
}

void TForm1::ForgetSource()
{
    Timer1->stop();
    ReleaseGroup(*PlayerTransport);
    FilterGraph1->EmptyGraph();
    FilterGraph1->SetActive(false);
    PlayerMediaPosition.Reset();
    EnableSourceControls(false);
    OpenDialog1.FileName.clear();
    Edit.KeyFrames.clear();
    markInSet_ = false;
    TrackBar1->ClearTicks();
    Edit.PlayerPos = Edit.PlayerDuration = Edit.MarkIn = Edit.MarkOut = 0;
    StatusBar1->SetSimpleText(QString());
}

}  // namespace kestrine::ui
