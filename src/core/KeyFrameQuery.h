#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "core/CutterRunner.h"
#include "core/EditState.h"
#include "core/LogText.h"

namespace kestrine::core {

// The line index from which the keyframe report is examined; the lines before are the
// cutter's banner and the file's description.
inline constexpr qsizetype KeyFrameReportFirstLine = 14;

// The mark that makes a report line a keyframe line: two blanks and a capital X.
inline constexpr const char* KeyFrameMarker = "  X";

// The leading number of a report line, as the report has always been read: blanks (' ')
// skipped, an optional sign, then the longest run that could continue a number (digits, one
// point, an exponent). When the line is nothing but such a number it is taken as written;
// otherwise the value is the mantissa's digits taken as one whole number, the point passed
// over, the sign ignored and the exponent not applied ("  12345  X" -> 12345,
// "  12.5  X" -> 125). No digit before the first character that cannot continue gives 0.
double LeadingNumber(const QString& line);

// The keyframe times in seconds: from line 14 on, the lines holding the marker are counted
// and that many lines, starting at the first marked one, are read for their leading number
// in milliseconds. Kept in the report's order, duplicates and all.
std::vector<double> ParseKeyFrameReport(const QStringList& lines);

// Shows (true) or hides (false) the "Working..." notice.
using WorkingNotice = std::function<void(bool visible)>;

// Runs the cutter's keyframe report on `sourceFile` with the notice shown, its output going
// to `logEdit`, and sets state.KeyFrames from the LOG's lines. The pipe is sized at 120 bytes
// per second of state.PlayerDuration. `stop`, when requested, ends the run early (RunCutter).
void QueryKeyFrames(EditState& state, const std::string& sourceFile, LogText& logEdit,
                    const WorkingNotice& working, const CutterStop* stop = nullptr);
void QueryKeyFrames(const std::string& sourceFile, LogText& logEdit, const WorkingNotice& working,
                    const CutterStop* stop = nullptr);  // on Edit

}  // namespace kestrine::core
