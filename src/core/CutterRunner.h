#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/LogText.h"

namespace kestrine::core {

// The most bytes of the cutter's output appended to the LOG in one piece.
inline constexpr std::size_t CutterOutputChunk = 2400;

// Runs `commandLine` (split by SplitCommandLine; the first word is the program, started
// directly, never through a shell) and appends what it writes to its standard output to
// `logEdit`, in the child's order, then one line holding a single blank.
//
// While the child runs, the application's pending events are dispatched every 100 ms so
// the windows stay alive, and the output is read as it comes, so a child never blocks on
// a full pipe. Escape pressed (or held) during the wait ends it early: what is pending is
// read and the child is left running, to be reaped in the background when it ends.
//
// pipeSize > 0 asks for that capacity of the output pipe; 0 keeps the system's default.
// A program that cannot be started appends nothing. Nothing is reported to the caller:
// the cutter's results show in the LOG and in the files it writes.
void RunCutter(const std::string& commandLine, LogText& logEdit, std::int64_t pipeSize);

}  // namespace kestrine::core
