#include "asf/AudioObjectEnds.h"

#include <algorithm>

namespace kestrine::asf {

namespace {

std::uint32_t Later(std::uint32_t ms, std::uint32_t by)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{ms} + by, UINT32_MAX));
}

}  // namespace

AudioObjectEnds::AudioObjectEnds(const AsfFile& file) : streams_(128)
{
    const Header& h = file.Header();
    for (const StreamProperties& s : h.streams) {
        if (s.number >= streams_.size() || s.kind != StreamKind::Audio) continue;
        streams_[s.number].audio = true;
        if (s.audio) streams_[s.number].nominalBytesPerSecond = s.audio->averageBytesPerSecond;
    }
}

std::optional<std::uint32_t> AudioObjectEnds::Begins(std::uint8_t stream, std::uint32_t presentationMs,
                                                     std::uint32_t bytes)
{
    if (stream >= streams_.size() || !streams_[stream].audio) return std::nullopt;
    Stream& s = streams_[stream];
    if (s.previousStart && presentationMs > *s.previousStart && presentationMs - *s.previousStart <= kLongestAudioObjectMs) {
        s.observedMs += presentationMs - *s.previousStart;
        s.observedBytes += s.previousBytes;
    }
    if (s.previousStart && presentationMs == *s.previousStart) {
        s.previousBytes += bytes;
    } else if (!s.previousStart || presentationMs > *s.previousStart) {
        s.previousStart = presentationMs;
        s.previousBytes = bytes;
    }
    if (!s.open || presentationMs <= *s.open) return std::nullopt;
    const std::uint32_t start = *s.open;
    s.open.reset();
    if (presentationMs - start <= kLongestAudioObjectMs) return presentationMs;
    return Later(start, EstimateMs(s, s.openBytes));  // a gap in the sound follows it
}

void AudioObjectEnds::Written(std::uint8_t stream, std::uint32_t presentationMs, std::uint32_t bytes)
{
    if (stream >= streams_.size() || !streams_[stream].audio) return;
    Stream& s = streams_[stream];
    // Objects sharing one time end together, where the next later one begins.
    if (s.open && presentationMs < *s.open) return;
    s.openBytes = s.open && presentationMs == *s.open ? s.openBytes + bytes : bytes;
    s.open = presentationMs;
}

bool AudioObjectEnds::Waiting(std::uint32_t sendTimeMs) const
{
    // Nothing is presented before it is sent, so once packets are sent past an open object's
    // longest possible end, no next object can settle it any more.
    for (const Stream& s : streams_)
        if (s.open && std::uint64_t{sendTimeMs} <= std::uint64_t{*s.open} + kLongestAudioObjectMs) return true;
    return false;
}

std::optional<std::uint32_t> AudioObjectEnds::Settle()
{
    std::optional<std::uint32_t> latest;
    for (Stream& s : streams_) {
        if (!s.open) continue;
        const std::uint32_t start = *s.open;
        s.open.reset();
        const std::uint32_t end = Later(start, EstimateMs(s, s.openBytes));
        latest = std::max(latest.value_or(end), end);
    }
    return latest;
}

std::uint32_t AudioObjectEnds::EstimateMs(const Stream& s, std::uint32_t bytes) const
{
    std::uint64_t ms = 0;
    if (s.observedBytes > 0)
        ms = (std::uint64_t{bytes} * s.observedMs + s.observedBytes / 2) / s.observedBytes;
    else if (s.nominalBytesPerSecond > 0)
        ms = (std::uint64_t{bytes} * 1000 + s.nominalBytesPerSecond / 2) / s.nominalBytesPerSecond;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, kLongestAudioObjectMs));
}

}  // namespace kestrine::asf
