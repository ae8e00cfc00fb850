#pragma once
#include <cstdint>

namespace kestrine::core {

// What a Record is about to write into the run directory, estimated before the cutter runs.
struct RecordRoom {
    std::uint64_t Segment = 0;  // the span cut from the source
    std::uint64_t Appended = 0; // what the join adds to the current result's file: the span again; 0 on a first Record
    std::uint64_t Needed = 0;   // both, with a margin for packet padding, the header, the index and CVB's earlier start
};

// The span's share of the source's bytes (the whole source when its length is unknown), and, when a
// result exists, the span again: the join appends to the result's own file rather than copying it.
RecordRoom EstimateRecordRoom(std::uint64_t sourceBytes, double sourceDuration, double markIn, double markOut,
                              bool resultExists);

}  // namespace kestrine::core
