#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/LogText.h"

namespace kestrine::core {

// The most bytes of the cutter's output appended to the LOG in one piece.
inline constexpr std::size_t CutterOutputChunk = 2400;

// A request, made from elsewhere on the GUI thread (the window closing, the editor ending),
// that a run in progress give up its wait. It stays made until cleared.
class CutterStop {
public:
    void Request() { requested_ = true; }
    void Clear() { requested_ = false; }
    bool Requested() const { return requested_; }

private:
    bool requested_ = false;
};

// How long a child asked to end (SIGTERM) gets before it is killed outright.
inline constexpr int CutterTerminationGraceMs = 5000;

// Runs `commandLine` (split by SplitCommandLine; the first word is the program, started
// directly, never through a shell) and appends what it writes to its standard output to
// `logEdit`, in the child's order, then one line holding a single blank.
//
// While the child runs, the application's pending events are dispatched every 100 ms so
// the windows stay alive, and the output is read as it comes, so a child never blocks on
// a full pipe. Escape pressed (or held) during the wait, or `stop` requested, ends it
// early: the child is ended (SIGTERM, so the cutter removes the file it was writing) and
// reaped, and what it wrote until then is appended. No child outlives its run.
//
// pipeSize > 0 asks for that capacity of the output pipe; 0 keeps the system's default.
// A program that cannot be started appends nothing. Nothing is reported to the caller:
// the cutter's results show in the LOG and in the files it writes.
void RunCutter(const std::string& commandLine, LogText& logEdit, std::int64_t pipeSize,
               const CutterStop* stop = nullptr);

}  // namespace kestrine::core
