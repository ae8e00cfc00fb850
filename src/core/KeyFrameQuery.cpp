#include "core/KeyFrameQuery.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/CutterCommands.h"
#include "core/CutterRunner.h"
#include "core/Rounding.h"

namespace kestrine::core {

namespace {

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Hides the notice however the query ends.
class WorkingGuard {
public:
    explicit WorkingGuard(const WorkingNotice& notice) : notice_(notice)
    {
        if (notice_)
            notice_(true);
    }
    ~WorkingGuard()
    {
        if (notice_)
            notice_(false);
    }
    WorkingGuard(const WorkingGuard&) = delete;
    WorkingGuard& operator=(const WorkingGuard&) = delete;

private:
    const WorkingNotice& notice_;
};

}  // namespace

double LeadingNumber(const QString& line)
{
    const qsizetype size = line.size();
    qsizetype i = 0;
    while (i < size && line[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < size && (line[i] == QLatin1Char('+') || line[i] == QLatin1Char('-'))) {
        negative = line[i] == QLatin1Char('-');
        ++i;
    }
    const qsizetype numberStart = i;

    // The mantissa: digits with at most one point among them.
    double digits = 0;  // every mantissa digit in turn, the point passed over
    bool anyDigit = false;
    bool sawPoint = false;
    for (; i < size; ++i) {
        const QChar c = line[i];
        if (IsDigit(c)) {
            digits = digits * 10 + (c.unicode() - '0');
            anyDigit = true;
        } else if (c == QLatin1Char('.') && !sawPoint) {
            sawPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0;

    // An exponent is read (so it ends nothing early) but its value is not applied.
    bool wellFormed = true;
    if (i < size && (line[i] == QLatin1Char('e') || line[i] == QLatin1Char('E'))) {
        ++i;
        if (i < size && (line[i] == QLatin1Char('+') || line[i] == QLatin1Char('-')))
            ++i;
        bool exponentDigit = false;
        while (i < size && IsDigit(line[i])) {
            exponentDigit = true;
            ++i;
        }
        wellFormed = exponentDigit;
    }

    if (i < size || !wellFormed)
        return digits;  // the number stops before the line does

    // The line is nothing but the number: taken exactly as written.
    const std::string text = line.mid(numberStart).toStdString();
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return digits;
    return negative ? -value : value;
}

std::vector<double> ParseKeyFrameReport(const QStringList& lines)
{
    const QString marker = QLatin1String(KeyFrameMarker);
    qsizetype count = 0;
    qsizetype first = -1;
    for (qsizetype i = KeyFrameReportFirstLine; i < lines.size(); ++i) {
        if (lines[i].contains(marker, Qt::CaseSensitive)) {
            if (count == 0)
                first = i;
            ++count;
        }
    }
    std::vector<double> keyFrames;
    keyFrames.reserve(static_cast<std::size_t>(count));
    for (qsizetype j = 0; j < count; ++j)
        keyFrames.push_back(LeadingNumber(lines[first + j]) / 1000);
    return keyFrames;
}

void QueryKeyFrames(EditState& state, const std::string& sourceFile, LogText& logEdit,
                    const WorkingNotice& working, const CutterStop* stop)
{
    WorkingGuard guard(working);
    const std::string command = KeyFrameReportCommand(state.EditorDir, sourceFile);
    const std::int64_t pipeSize = std::max<std::int64_t>(0, RoundHalfEven(state.PlayerDuration * 120));
    RunCutter(command, logEdit, pipeSize, stop);
    state.KeyFrames = ParseKeyFrameReport(logEdit.Lines());
}

void QueryKeyFrames(const std::string& sourceFile, LogText& logEdit, const WorkingNotice& working,
                    const CutterStop* stop)
{
    QueryKeyFrames(Edit, sourceFile, logEdit, working, stop);
}

}  // namespace kestrine::core
