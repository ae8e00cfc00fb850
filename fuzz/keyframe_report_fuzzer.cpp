// libFuzzer target for the editor's reading of the cutter's keyframe report. Any text gives as
// many times as it has marked lines from line 14 on (never more than there are lines to read), each
// the leading number of its line in seconds, and no line crashes the leading-number rule.
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/KeyFrameQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = text.split(QLatin1Char('\n'));

    for (const QString& line : lines) {
        const double v = kestrine::core::LeadingNumber(line);
        if (std::isnan(v)) std::abort();
    }

    const std::vector<double> times = kestrine::core::ParseKeyFrameReport(lines);
    qsizetype marked = 0;
    qsizetype first = -1;
    for (qsizetype i = kestrine::core::KeyFrameReportFirstLine; i < lines.size(); ++i) {
        if (!lines[i].contains(QLatin1String(kestrine::core::KeyFrameMarker))) continue;
        if (first < 0) first = i;
        ++marked;
    }
    if (first < 0) {
        if (!times.empty()) std::abort();
        return 0;
    }
    const qsizetype available = lines.size() - first;
    if (static_cast<qsizetype>(times.size()) != marked || marked > available) std::abort();
    for (std::size_t k = 0; k < times.size(); ++k) {
        const double expected = kestrine::core::LeadingNumber(lines[first + static_cast<qsizetype>(k)]) / 1000.0;
        if (!(times[k] == expected) && !(std::isnan(times[k]) && std::isnan(expected))) std::abort();
    }
    return 0;
}
