#pragma once
#include <QString>
#include <cstdint>

#include "core/EditState.h"

namespace kestrine::core {

// A time in seconds split for display: whole hours, minutes and seconds (truncated)
// and milliseconds (rounded, halves to even, never carried: 59.9996 s gives 59 and 1000).
struct TimeParts {
    std::int32_t Hours = 0;
    std::int32_t Minutes = 0;
    std::int32_t Seconds = 0;
    std::int32_t Millis = 0;

    friend bool operator==(const TimeParts&, const TimeParts&) = default;
};

TimeParts SplitSeconds(double seconds);

// Splits `seconds` into the state's TimeHours, TimeMinutes, TimeSeconds and TimeMillis.
void SplitTime(double seconds, EditState& state);
void SplitTime(double seconds);  // on Edit

// The four time texts; each format prints hours, minutes, seconds, milliseconds.
enum class TimeTextKind {
    Position,  // " Position: %.2d:%.2d:%.2d:%.3d"
    Duration,  // "            duration: %.2d:%.2d:%.2d:%.3d"
    MarkIn,    // "Mark IN: %.2d:%.2d:%.2d:%.3d"
    MarkOut,   // "Mark OUT: %.2d:%.2d:%.2d:%.3d"
};

const char* TimeTextFormat(TimeTextKind kind);

// Integer formatting only, so the text is the same under every locale.
QString FormatTimeText(TimeTextKind kind, const TimeParts& parts);

// Formats the parts last written by SplitTime into `state`.
QString TimeText(TimeTextKind kind, const EditState& state);

// A pane's status line: SplitTime of the position, its text, then SplitTime of the duration
// and its text appended. The state is left holding the duration's parts.
QString StatusLine(double position, double duration, EditState& state);
QString StatusLine(double position, double duration);  // on Edit

}  // namespace kestrine::core
