#include "media/VMROptions.h"

#include "media/VideoWindow.h"

namespace kestrine::media {

TVMROptions::TVMROptions(TVideoWindow& owner) : owner_(owner) {}

void TVMROptions::SetStreams(platform::DWORD value)
{
    streams_ = value >= 1 && value <= platform::kMaxMixerStreams ? value : 1;
    RebuildOwnerRenderer();
}

void TVMROptions::SetPreferences(TVMRPreferences value)
{
    preferences_ = value;
    RebuildOwnerRenderer();
}

void TVMROptions::SetMode(TVMRVideoMode value)
{
    mode_ = value;
    RebuildOwnerRenderer();
}

void TVMROptions::SetKeepAspectRatio(bool value)
{
    keepAspectRatio_ = value;
    owner_.ApplyAspectRatio(value);
}

// The options are read when the renderer is made and configured, so a change reaches a renderer
// that exists only by making it again.
void TVMROptions::RebuildOwnerRenderer()
{
    if (owner_.Mode() == TVideoMode::vmVMR) owner_.ReinsertIntoActiveGraph();
}

}  // namespace kestrine::media
