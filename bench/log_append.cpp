// How long the LOG window takes to take in a large cutter output when it already holds a long log,
// next to appending the same bytes to a file with `cat`. Appends must cost time for the new text
// only: the rate into a long log should match the rate into an empty one.
#include "ui/LogMemo.h"

#include <QApplication>
#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Text shaped like a keyframe report: numbered lines with a marker, about 60 bytes each.
std::string CutterOutput(std::size_t bytes)
{
    std::string out;
    out.reserve(bytes + 80);
    for (unsigned n = 0; out.size() < bytes; ++n) {
        char line[96];
        std::snprintf(line, sizeof line, "%10u  X  packet %8u  size %6u  stream 2  keyframe\r\n", n * 40u, n, n % 65536u);
        out += line;
    }
    out.resize(bytes);
    return out;
}

// Appends in the cutter runner's 2400-byte chunks; returns milliseconds.
double AppendInChunks(kestrine::ui::TLogMemo& memo, const std::string& bytes)
{
    const auto start = Clock::now();
    for (std::size_t at = 0; at < bytes.size(); at += 2400) {
        const std::size_t n = std::min<std::size_t>(2400, bytes.size() - at);
        memo.AppendText(QString::fromUtf8(bytes.data() + at, static_cast<qsizetype>(n)));
    }
    memo.AppendLine(QStringLiteral(" "));
    QApplication::processEvents();  // let a shown window lay out and paint what arrived
    return MsSince(start);
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    constexpr std::size_t kMB = 1024 * 1024;
    const std::string output = CutterOutput(10 * kMB);

    // Peer: the same bytes appended to a file that already holds 10 MB.
    const auto dir = std::filesystem::temp_directory_path() / ("kestrine-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto chunk = dir / "output.txt";
    const auto log = dir / "log.txt";
    std::ofstream(chunk, std::ios::binary) << output;
    std::ofstream(log, std::ios::binary) << output;
    const std::string command = "cat '" + chunk.string() + "' >> '" + log.string() + "'";
    const auto catStart = Clock::now();
    const int rc = std::system(command.c_str());
    const double catMs = MsSince(catStart);
    std::filesystem::remove_all(dir);
    if (rc != 0) {
        std::fprintf(stderr, "cat failed\n");
        return 1;
    }

    kestrine::ui::TLogMemo memo;
    memo.resize(369, 188);
    memo.show();
    const double emptyMs = AppendInChunks(memo, output.substr(0, kMB));
    memo.Clear();
    AppendInChunks(memo, output);  // the long log already there
    const double longMs = AppendInChunks(memo, output);
    const double tailMs = AppendInChunks(memo, output.substr(0, kMB));

    const auto linesStart = Clock::now();
    const auto lines = memo.Lines();
    const double linesMs = MsSince(linesStart);

    std::printf("BENCH log_append_10MB_into_10MB_log %.1f ms\n", longMs);
    std::printf("BENCH log_append_10MB_cat_peer %.1f ms\n", catMs);
    std::printf("BENCH log_append_1MB_into_empty_log %.1f ms\n", emptyMs);
    std::printf("BENCH log_append_1MB_into_20MB_log %.1f ms\n", tailMs);
    std::printf("BENCH log_lines_of_21MB_log %.1f ms\n", linesMs);
    std::printf("BENCH log_line_count %lld lines\n", static_cast<long long>(lines.size()));
    return 0;
}
