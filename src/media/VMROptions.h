#pragma once
// TVMROptions: the mixing renderer's options of one video window. Changing the mode, the number of
// streams or the preferences while the window's graph is active rebuilds the renderer at once;
// KeepAspectRatio is applied to the renderer there is.
#include "platform/com/Types.h"

#include <cstdint>

namespace kestrine::media {

class TVideoWindow;

enum class TVMRVideoMode { vmrWindowed, vmrWindowless, vmrRenderless };

enum TVMRPreference : std::uint8_t {
    vpForceOffscreen = 0,
    vpForceOverlays,
    vpForceMixer,  // ours alone: asks for the stream count to be set; never passed to the renderer
    vpDoNotRenderColorKeyAndBorder,
    vpRestrictToInitialMonitor,
    vpPreferAGPMemWhenMixing
};

using TVMRPreferences = std::uint8_t;  // bit n set for value n

constexpr TVMRPreferences PreferenceBit(TVMRPreference p) { return static_cast<TVMRPreferences>(1u << static_cast<unsigned>(p)); }

class TVMROptions {
public:
    explicit TVMROptions(TVideoWindow& owner);

    // 1 to 16 is kept; anything else stores 1.
    platform::DWORD Streams() const { return streams_; }
    void SetStreams(platform::DWORD value);

    TVMRPreferences Preferences() const { return preferences_; }
    void SetPreferences(TVMRPreferences value);

    TVMRVideoMode Mode() const { return mode_; }
    void SetMode(TVMRVideoMode value);

    // True letterboxes the picture, False stretches it over the window.
    bool KeepAspectRatio() const { return keepAspectRatio_; }
    void SetKeepAspectRatio(bool value);

    // What the renderer reported back at configuration, stored without rebuilding anything.
    void StoreStreamsReadBack(platform::DWORD value) { streams_ = value; }
    void StorePreferencesReadBack(TVMRPreferences value) { preferences_ = value; }

private:
    void RebuildOwnerRenderer();

    TVideoWindow& owner_;
    platform::DWORD streams_ = 4;
    TVMRPreferences preferences_ = PreferenceBit(vpForceMixer);
    TVMRVideoMode mode_ = TVMRVideoMode::vmrWindowed;
    bool keepAspectRatio_ = true;
};

}  // namespace kestrine::media
