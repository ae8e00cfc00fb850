#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kestrine::core {

// The state every handler of the main window shares, one instance per run.
// Paths are kept as bytes: a Linux file name need not be valid UTF-8.
struct EditState {
    std::string EditorDir;  // directory of the running executable, ending in '/'
    std::string TempDir;    // this run's private directory for result files, ending in '/'

    std::vector<double> KeyFrames;  // seconds, in the order of the keyframe report

    double PlayerPos = 0;
    double PlayerDuration = 0;
    double RecorderPos = 0;
    double RecorderDuration = 0;
    double MarkIn = 0;
    double MarkOut = 0;

    // The parts of the time last split by SplitTime.
    std::int32_t TimeHours = 0;
    std::int32_t TimeMinutes = 0;
    std::int32_t TimeSeconds = 0;
    std::int32_t TimeMillis = 0;

    std::int32_t ResultCounter = 0;
    std::int32_t HighestResult = 0;  // never lowered; close deletes temp0 .. temp<HighestResult>
    std::string ResultName = "temp0";
    bool ResultSaved = false;

    std::int32_t PlayerVolume = 10000;
    std::int32_t RecorderVolume = 10000;
};

// The one instance the editor's windows work on.
extern EditState Edit;

}  // namespace kestrine::core
