#pragma once
#include <cstdint>
#include <optional>

namespace kestrine::core {

// What a Record is about to write into the run directory, estimated before the cutter runs.
struct RecordRoom {
    std::uint64_t Segment = 0;  // the span cut from the source
    std::uint64_t Joined = 0;   // the current result followed by the span; 0 on a first Record
    std::uint64_t Needed = 0;   // both, with a margin for packet padding, the header, the index and CVB's earlier start
};

// The span's share of the source's bytes (the whole source when its length is unknown), and, when a
// result exists, that result's size plus the span again.
RecordRoom EstimateRecordRoom(std::uint64_t sourceBytes, double sourceDuration, double markIn, double markOut,
                              std::optional<std::uint64_t> currentResultBytes);

}  // namespace kestrine::core
