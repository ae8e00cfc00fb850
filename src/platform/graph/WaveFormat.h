#pragma once
// WAVEFORMATEX as a value: how an audio stream is coded, with the codec's bytes after it. Filters
// read and write audio format blocks through this, so a short or lying block is refused instead of
// read past.
#include "asf/HeaderObjects.h"
#include "platform/graph/MediaType.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrine::platform {

// The fields are the ASF stream's own (`extra`: the cbSize bytes after the fixed 18).
struct WaveFormat : asf::AudioFormat {
    static constexpr std::uint16_t kPcmTag = 1;

    // Interleaved integer PCM.
    static WaveFormat Pcm(int channels, int samplesPerSecond, int bitsPerSample);

    // Nothing when the type is not FORMAT_WaveFormatEx or the block is shorter than it says.
    static std::optional<WaveFormat> Parse(const AM_MEDIA_TYPE& type);
    std::vector<BYTE> FormatBlock() const;
};

}  // namespace kestrine::platform
