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
    if (cutterRunning_) return;
    if (!OpenDialog1.Execute()) return;
    OpenSource(OpenDialog1.FileName);
}

void TForm1::OpenSource(const std::string& path)
{
    if (cutterRunning_) return;
    OpenDialog1.FileName = platform::ShortPathName(path);
    if (!FilterGraph1->Active()) FilterGraph1->SetActive(true);

    // Sound alone: no renderer windows in either pane.
    const bool soundOnly = LowerExtension(OpenDialog1.FileName) == ".wma";
    VideoWindow1->SetFilterGraph(soundOnly ? nullptr : FilterGraph1);
    VideoWindow2->SetFilterGraph(soundOnly ? nullptr : FilterGraph2);

    FilterGraph1->EmptyGraph();
    // A file that cannot be rendered raises here; what the earlier Open left stays as it was.
    FilterGraph1->RenderMediaFile(platform::ToWide(OpenDialog1.FileName));

    for (QWidget* control : std::initializer_list<QWidget*>{TrackBar1, ToolButton5, ToolButton7, ToolButton13,
                                                           ToolButton16, ToolButton24, ToolButton1, ToolButton8})
        control->setEnabled(true);
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
    if (GetKf1->isChecked()) QueryKeyFrames();
}

}  // namespace kestrine::ui
