#pragma once
// Which streams a player renders. A file may carry the same content several times over: at several
// bitrates for streaming, in several languages, as groups of streams that stand for each other
// (the mutual exclusion objects). A player renders one of each such group, and of what is left one
// video and one audio stream. A cutter keeps every stream; this is only about playing.
#include <cstdint>
#include <vector>

#include "asf/HeaderObjects.h"

namespace kestrine::asf {

struct ExclusionGroup {
    bool byBitrate = false;  // the alternatives differ in bitrate only
    // Streams of which one alternative is shown, as the file lists them; an alternative is one
    // stream, or several shown together (a group mutual exclusion record).
    std::vector<std::vector<std::uint16_t>> alternatives;
};

// The Bitrate, Advanced and Group Mutual Exclusion objects of the header, in file order.
// Damaged objects are skipped.
std::vector<ExclusionGroup> ExclusionGroups(const Header& header);

// Stream numbers in the order of the Stream Prioritization object; empty when there is none.
std::vector<std::uint16_t> StreamPriorities(const Header& header);

// Whether the content is encrypted: a Content Encryption, Extended or Advanced Content Encryption
// object, or a stream flagged encrypted. Such payloads cannot be decoded without the licence.
bool IsProtected(const Header& header);

// The audio and video streams to render, lowest priority index (else number) first: of each
// exclusion group the highest-bitrate alternative when the group is by bitrate, else the first
// listed; then at most one video and one audio stream.
std::vector<std::uint16_t> PlaybackStreams(const Header& header);

}  // namespace kestrine::asf
