#pragma once
// WAVEFORMATEX as a value: how an audio stream is coded, with the codec's bytes after it. Filters
// read and write audio format blocks through this, so a short or lying block is refused instead of
// read past.
#include "platform/graph/MediaType.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrine::platform {

struct WaveFormat {
    static constexpr std::uint16_t kPcmTag = 1;

    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::vector<BYTE> codecData;  // the cbSize bytes after the fixed 18

    // Interleaved integer PCM.
    static WaveFormat Pcm(int channels, int samplesPerSecond, int bitsPerSample);

    // Nothing when the type is not FORMAT_WaveFormatEx or the block is shorter than it says.
    static std::optional<WaveFormat> Parse(const AM_MEDIA_TYPE& type);
    std::vector<BYTE> FormatBlock() const;
};

}  // namespace kestrine::platform
