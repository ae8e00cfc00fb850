#pragma once
// How long a file plays. The header says so, except in live captures: their broadcast flag marks
// the sizes and the duration as unknown (they are written as 0) and the last packet may be cut off.
// Those are measured from their packets: the end of the last complete media object.
#include <cstdint>

#include "asf/AsfFile.h"

namespace kestrine::asf {

// Whether the File Properties' play duration can be used.
bool HeaderDurationValid(const FileProperties& fp);

// The play duration in 100 ns on the presentation clock (preroll included): the header's where it
// is valid and the file is whole, else the end of the last complete object (its start plus its length: a video frame's
// average time, an audio object's bytes at the stream's byte rate). 0 for a file without objects.
std::uint64_t PlayDuration(const AsfFile& file);

}  // namespace kestrine::asf
