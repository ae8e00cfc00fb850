#pragma once
// Where the audio objects written from one input end.
//
// An audio object's length is not in the file: the codecs that matter (WMA Lossless, WMA Pro and
// WMA Voice at variable rates, MP3) pack a varying stretch of sound into objects of one size, so the
// nominal byte rate is no guide. The length is the distance to the next object of the stream, which
// the source shows even when that object is not written. Only an object without a next one is
// estimated, from its bytes at the rate the stream's earlier objects in this input ran at (at the end
// of a file the header's play duration, when credible, says more: Remuxer.cpp).
//
//   AudioObjectEnds ends(file);
//   for each object start seen in the source (written or not):
//       if (auto end = ends.Begins(stream, presentationMs, bytes)) ... the object written before it ends at *end
//   for each object written:  ends.Written(stream, presentationMs, bytes);
//   while reading past the span: continue while ends.Waiting(packetSendTimeMs)
//   at the input's end:  if (auto end = ends.Settle()) ... the latest end of those still open
//
// Times are the source's presentation times in milliseconds (preroll included).
#include <cstdint>
#include <optional>
#include <vector>

#include "asf/AsfFile.h"

namespace kestrine::asf {

// No audio object runs longer than this; a next object further away follows a gap, not the object.
inline constexpr std::uint32_t kLongestAudioObjectMs = 10'000;

class AudioObjectEnds {
public:
    explicit AudioObjectEnds(const AsfFile& file);

    std::optional<std::uint32_t> Begins(std::uint8_t stream, std::uint32_t presentationMs, std::uint32_t bytes);
    void Written(std::uint8_t stream, std::uint32_t presentationMs, std::uint32_t bytes);
    // True while a packet sent at `sendTimeMs` could still hold the next object of a stream whose
    // last written object has no end yet.
    bool Waiting(std::uint32_t sendTimeMs) const;
    // Ends every written object still open by its estimate and returns the latest such end, if any.
    std::optional<std::uint32_t> Settle();

private:
    struct Stream {
        bool audio = false;
        std::uint32_t nominalBytesPerSecond = 0;
        std::optional<std::uint32_t> previousStart;  // last object start seen
        std::uint32_t previousBytes = 0;
        std::uint64_t observedMs = 0;  // lengths settled by a next object, and their bytes
        std::uint64_t observedBytes = 0;
        std::optional<std::uint32_t> open;  // start of the last written object whose end is not known
        std::uint32_t openBytes = 0;
    };

    std::uint32_t EstimateMs(const Stream& s, std::uint32_t bytes) const;

    std::vector<Stream> streams_;  // by stream number
};

}  // namespace kestrine::asf
