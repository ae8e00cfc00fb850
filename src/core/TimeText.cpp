#include "core/TimeText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/Rounding.h"

namespace kestrine::core {

namespace {

// trunc(t) as a 64-bit integer; NaN gives 0 and the ends of the range saturate.
std::int64_t TruncateSeconds(double t)
{
    if (std::isnan(t))
        return 0;
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (t >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (t <= -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::trunc(t));
}

std::int32_t Clamp32(std::int64_t v)
{
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

}  // namespace

TimeParts SplitSeconds(double seconds)
{
    const std::int64_t whole = TruncateSeconds(seconds);
    TimeParts parts;
    // Integer division and remainder truncate toward zero, as the display has always done
    // for the (unexpected) negative times.
    parts.Hours = Clamp32(whole / 3600);
    parts.Minutes = static_cast<std::int32_t>((whole % 3600) / 60);
    parts.Seconds = static_cast<std::int32_t>((whole % 3600) % 60);
    const double fraction = std::isfinite(seconds) ? seconds - std::trunc(seconds) : 0.0;
    parts.Millis = RoundHalfEven32(fraction * 1000.0);
    return parts;
}

void SplitTime(double seconds, EditState& state)
{
    const TimeParts parts = SplitSeconds(seconds);
    state.TimeHours = parts.Hours;
    state.TimeMinutes = parts.Minutes;
    state.TimeSeconds = parts.Seconds;
    state.TimeMillis = parts.Millis;
}

void SplitTime(double seconds)
{
    SplitTime(seconds, Edit);
}

const char* TimeTextFormat(TimeTextKind kind)
{
    switch (kind) {
    case TimeTextKind::Position:
        return " Position: %.2d:%.2d:%.2d:%.3d";
    case TimeTextKind::Duration:
        return "            duration: %.2d:%.2d:%.2d:%.3d";
    case TimeTextKind::MarkIn:
        return "Mark IN: %.2d:%.2d:%.2d:%.3d";
    case TimeTextKind::MarkOut:
        return "Mark OUT: %.2d:%.2d:%.2d:%.3d";
    }
    return "";
}

QString FormatTimeText(TimeTextKind kind, const TimeParts& parts)
{
    // The longest text: 21 characters of label, four 11-character numbers and separators.
    char text[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(text, sizeof text, TimeTextFormat(kind), parts.Hours,
                                     parts.Minutes, parts.Seconds, parts.Millis);
#pragma GCC diagnostic pop
    if (length < 0)
        return {};
    return QString::fromLatin1(text, std::min<qsizetype>(length, qsizetype{sizeof text} - 1));
}

QString TimeText(TimeTextKind kind, const EditState& state)
{
    return FormatTimeText(kind, TimeParts{state.TimeHours, state.TimeMinutes, state.TimeSeconds,
                                          state.TimeMillis});
}

QString StatusLine(double position, double duration, EditState& state)
{
    SplitTime(position, state);
    QString line = TimeText(TimeTextKind::Position, state);
    SplitTime(duration, state);
    line += TimeText(TimeTextKind::Duration, state);
    return line;
}

QString StatusLine(double position, double duration)
{
    return StatusLine(position, duration, Edit);
}

}  // namespace kestrine::core
