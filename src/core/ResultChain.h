#pragma once
#include <cstdint>
#include <string>

#include "core/EditState.h"

namespace kestrine::core {

// The counters of the result chain, as a Record or Undo that cannot finish puts them back.
struct ChainCounters {
    std::int32_t ResultCounter = 0;
    std::int32_t HighestResult = 0;
    std::string ResultName = "temp0";

    friend bool operator==(const ChainCounters&, const ChainCounters&) = default;
};

ChainCounters CountersOf(const EditState& state);
// Puts ResultCounter and ResultName back; HighestResult only ever grows, so it is kept when higher.
void RestoreCounters(EditState& state, const ChainCounters& saved);

// One step forward: ResultCounter + 1, HighestResult raised to it, ResultName named after it.
void AdvanceResult(EditState& state);

// Undo's step back over the last Record: ResultCounter - 3 and ResultName named after it, which is
// then the result as it stood before that Record. Only meaningful while ResultCounter >= 3.
void StepBackOverLastRecord(EditState& state);

// Whether an Undo goes back to an earlier result (true) or empties the Recorder (false).
bool UndoHasEarlierResult(const EditState& state);

// Back to an empty chain: ResultCounter 0, ResultName "temp0"; HighestResult stays.
void RestartChain(EditState& state);

// TempDir + ResultName: where the next Record cuts its segment.
std::string SegmentPath(const EditState& state);
// TempDir + temp<ResultCounter - 1>: the result shown in the Recorder and copied by Save.
std::string CurrentResultPath(const EditState& state);
// TempDir + temp<ResultCounter + 1>: where a Record joins the current result and its segment.
std::string JoinedResultPath(const EditState& state);

}  // namespace kestrine::core
