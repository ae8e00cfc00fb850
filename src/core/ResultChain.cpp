#include "core/ResultChain.h"

#include <algorithm>

#include "core/CutterCommands.h"

namespace kestrine::core {

ChainCounters CountersOf(const EditState& state)
{
    return {state.ResultCounter, state.HighestResult, state.ResultName};
}

void RestoreCounters(EditState& state, const ChainCounters& saved)
{
    state.ResultCounter = saved.ResultCounter;
    state.ResultName = saved.ResultName;
    // Files up to HighestResult may exist now; close must still find them.
    state.HighestResult = std::max(state.HighestResult, saved.HighestResult);
}

void AdvanceResult(EditState& state)
{
    ++state.ResultCounter;
    state.HighestResult = std::max(state.HighestResult, state.ResultCounter);
    state.ResultName = ResultFileName(state.ResultCounter);
}

void StepBackOverLastRecord(EditState& state)
{
    state.ResultCounter -= 3;
    state.ResultName = ResultFileName(state.ResultCounter);
}

bool UndoHasEarlierResult(const EditState& state) { return state.ResultCounter >= 3; }

void RestartChain(EditState& state)
{
    state.ResultCounter = 0;
    state.ResultName = ResultFileName(0);
}

std::string SegmentPath(const EditState& state) { return state.TempDir + state.ResultName; }

std::string CurrentResultPath(const EditState& state)
{
    return state.TempDir + ResultFileName(std::int64_t{state.ResultCounter} - 1);
}

std::string JoinedResultPath(const EditState& state)
{
    return state.TempDir + ResultFileName(std::int64_t{state.ResultCounter} + 1);
}

}  // namespace kestrine::core
