#pragma once
// The cutter's keyframe report, `asfbin.exe -i FILE -infokf`.
//
// Layout, which the editor depends on:
//   - exactly 14 lines describing the file (name, size, duration, preroll, packets, index, one
//     line per stream as far as they fit, blank lines to fill);
//   - then one line per cut point in ascending order: the time in whole milliseconds on the
//     editor's timeline, right-aligned, then two blanks and a capital X;
//   - then one summary line, and "Warning: " lines when the file is damaged or truncated.
// No line outside the block contains two blanks followed by a capital X, whatever the file name
// or metadata hold. A file that cannot be read gives the single line "Error: <file>: <reason>".
#include <filesystem>
#include <string>
#include <vector>

#include "asf/AsfFile.h"
#include "asf/KeyFrameScan.h"

namespace kestrine::cutter {

inline constexpr int kReportHeaderLines = 14;

struct KeyFrameReport {
    std::vector<std::string> lines;  // without line ends
    int exitCode = 0;                // 0 complete; 1 the file could not be read, or was damaged or truncated
    std::string Text() const;        // the lines joined, each ending in '\n'
};

// Reads `file` and builds the whole report. Never throws for bad input.
KeyFrameReport MakeKeyFrameReport(const std::filesystem::path& file);

// The 14 descriptive lines for an opened file and its scan (exposed for tests).
std::vector<std::string> ReportHeaderLines(const asf::AsfFile& file, const asf::KeyFrameScan& scan);

// Makes text from file names or metadata safe for the report: no control characters, no line
// breaks, and no "  X" (which the editor would take for a keyframe line).
std::string SafeReportText(std::string text, std::size_t maxLength = 100);

// The keyframe line for a time in milliseconds: right-aligned, then "  X".
std::string KeyFrameLine(long long timeMs);

}  // namespace kestrine::cutter
