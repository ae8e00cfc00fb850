#pragma once
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kestrine::platform {

// A process as it can be recognised later: its id, when it started and in which boot, so a
// re-used process id or a restart of the machine is not taken for the same process.
struct ProcessIdentity {
    pid_t Pid = 0;
    std::uint64_t StartTicks = 0;  // start time after boot, in clock ticks
    std::string BootId;

    // This process.
    static ProcessIdentity Self();
    // Whether that very process still runs.
    bool Alive() const;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

// What a run directory says about itself, for whoever finds it after its editor ended without
// closing: which editor made it, and the name of the result that editor showed last.
struct RunRecord {
    ProcessIdentity Owner;
    std::string CurrentResult;  // a file name inside the directory; empty when there was none

    // The record's file inside a run directory.
    static constexpr const char* FileName = "run-record";

    // Writes the record into `directory` (ending in '/') in one step, replacing the one there.
    bool WriteTo(const std::string& directory) const;
    // The record of `directory`; nothing when it has none or it cannot be read.
    static std::optional<RunRecord> ReadFrom(const std::string& directory);
};

}  // namespace kestrine::platform
