#pragma once
// Finding where a cut begins without reading the file from the start.
//
// Packets have one fixed size and their send times never decrease, so the packet sent at a given
// time is found by bisection; presentation times never precede send times and run ahead of them by
// about the preroll, so everything presented from time T on lies in packets sent from roughly
// T - preroll on. The searches read a few dozen packets and then scan forward from there.
#include <cstdint>
#include <optional>

#include "asf/AsfFile.h"
#include "asf/HeaderObjects.h"

namespace kestrine::asf {

// How far beyond the preroll presentation may run ahead of sending (real encoders overshoot a little).
inline constexpr std::int64_t kLeadSlackMs = 5000;

// The first packet whose send time is at or after `sendTimeMs` (the packet count when none is).
// Damaged packets count as early, which only moves the answer back.
std::uint64_t FirstPacketSentFrom(const AsfFile& file, std::int64_t sendTimeMs);

struct CutStart {
    std::uint16_t stream = 0;            // the stream whose keyframes (or audio objects) are cut points
    StreamKind kind = StreamKind::Other;
    std::uint32_t presentationMs = 0;    // of the media object the cut begins with
    std::int64_t timeMs = 0;             // the same on the editor's timeline
    std::uint64_t packet = 0;            // where that object begins
    std::uint64_t readFrom = 0;          // first packet that can hold an object presented at or after it
};

// The cut point for a start on the editor's timeline, in 100-ns units. Without `atOrBefore`, the first
// cut point at or after it (half a millisecond allowed); with it, the last one at or before it, or the
// first of the file when none is. Cut points are the keyframes of the lowest-numbered video stream, or
// in a file without video the starts of the lowest-numbered audio stream's objects. Nullopt when no
// cut point qualifies (a start past the last keyframe, a file without either).
std::optional<CutStart> FindCutStart(const AsfFile& file, std::int64_t start100ns, bool atOrBefore);
// The same with the cut points of a given video or audio stream.
std::optional<CutStart> FindCutStart(const AsfFile& file, std::uint16_t stream, std::int64_t start100ns, bool atOrBefore);

// The earliest presentation time (ms, preroll included) among the first packets' media objects,
// or the preroll when none has one.
std::int64_t EarliestPresentationMs(const AsfFile& file);

}  // namespace kestrine::asf
