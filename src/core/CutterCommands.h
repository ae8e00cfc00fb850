#pragma once
#include <cstdint>
#include <string>

#include "core/EditState.h"

namespace kestrine::core {

// The file name of the cutter, looked for in EditorDir.
inline constexpr const char* CutterProgramName = "asfbin.exe";

// The two switches the options menu controls.
struct CutterOptions {
    bool Cvb = false;      // " -cvb": always copy at the very beginning
    bool NoIndex = false;  // " -noindex": the output file is not indexed
};

// A time for " -start " and " -stop ": the count of ten-thousandths of a second
// (x 10000, halves to even) written as seconds with at most four decimals, trailing
// zeros and a bare point dropped, '.' whatever the locale, '-' for negatives, never an
// exponent. 83.04166 -> "83.0417", 12.5 -> "12.5", 12 -> "12", 0 -> "0".
std::string FormatTimeArgument(double seconds);

// The keyframe report: <program> -i <source> -infokf
std::string KeyFrameReportCommand(const std::string& editorDir, const std::string& sourceFile);

// The cut of [markIn, markOut] of the source into tempDir + resultName:
// <program>  -i <source> -o <result> -start <t> -stop <t> -y [-cvb] [-noindex]
std::string CutCommand(const std::string& editorDir, const std::string& sourceFile,
                       const std::string& tempDir, const std::string& resultName, double markIn,
                       double markOut, CutterOptions options);

// The join of the current result temp<resultCounter - 1> and the segment just cut
// (tempDir + resultName) into temp<resultCounter + 1>:
// <program>  -i <result> -i <segment> -o <next result> -append -y [-cvb] [-noindex]
std::string JoinCommand(const std::string& editorDir, const std::string& tempDir,
                        std::int32_t resultCounter, const std::string& resultName,
                        CutterOptions options);

// The same, taking the paths, marks and counters from an edit state.
std::string CutCommand(const EditState& state, const std::string& sourceFile, CutterOptions options);
std::string JoinCommand(const EditState& state, CutterOptions options);

// "temp" followed by the number in decimal: the names of the result chain.
std::string ResultFileName(std::int64_t number);

}  // namespace kestrine::core
