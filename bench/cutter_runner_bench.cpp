// How fast the cutter runner moves a child's output into the LOG, beside cp copying the
// same bytes and a bare pipe read of them. Prints BENCH lines.
//
//   cutter_runner_bench [megabytes]   (default 10)
#include <QApplication>
#include <QCoreApplication>
#include <QString>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "core/CommandLine.h"
#include "core/CutterRunner.h"
#include "platform/ChildProcess.h"
#include "ui/LogMemo.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class MemoryLog final : public kestrine::core::LogText {
public:
    void AppendText(const QString& chunk) override { text_ += chunk; }
    void AppendLine(const QString& line) override { text_ += QLatin1Char('\n') + line; }
    QStringList Lines() const override { return text_.split(QLatin1Char('\n')); }
    void Clear() override { text_.clear(); }
    qsizetype Size() const { return text_.size(); }

private:
    QString text_;
};

// Lets the LOG finish what it put off (layout, repaint requests), so that work is counted
// with the run that caused it and not with the next one.
void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs a program to its end the plain way, reading its output and throwing it away.
double TimeProgram(const std::vector<std::string>& argv, std::size_t* bytes = nullptr)
{
    const auto start = Clock::now();
    auto child = kestrine::platform::ChildProcess::Start(argv, 0);
    if (!child) {
        std::fprintf(stderr, "cannot start %s\n", argv[0].c_str());
        std::exit(1);
    }
    std::array<char, 65536> buffer{};
    std::size_t total = 0;
    for (;;) {
        child->WaitForOutputOrEnd(std::chrono::milliseconds(1000));
        while (const std::size_t n = child->ReadAvailable(buffer))
            total += n;
        if (child->HasEnded() && (child->OutputEnded() || child->ReadAvailable(buffer) == 0))
            break;
    }
    if (bytes)
        *bytes = total;
    return MillisecondsSince(start);
}

void Bench(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.1f %s\n", name, value, unit);
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const long megabytes = argc > 1 ? std::max(1L, std::strtol(argv[1], nullptr, 10)) : 10;
    const std::size_t size = static_cast<std::size_t>(megabytes) << 20;

    const fs::path dir = fs::temp_directory_path() / ("kestrine-runner-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path source = dir / "output.txt";
    {
        // Report-like lines of 72 characters.
        std::ofstream out(source, std::ios::binary);
        std::string line = "    123456  X  packet 0000 object 000000 offset 00000000 size 000000\n";
        line.resize(72, ' ');
        line.back() = '\n';
        for (std::size_t written = 0; written < size; written += line.size())
            out << line;
    }
    const std::string cat = "/bin/cat";
    const std::string command = kestrine::core::Quote(cat) + " " + kestrine::core::Quote(source.string());

    // Peers: cp copying the file, and cat through a plain pipe read.
    const double cpMs = TimeProgram({"/bin/cp", source.string(), (dir / "copy.txt").string()});
    std::size_t piped = 0;
    const double pipeMs = TimeProgram({cat, source.string()}, &piped);

    // Into an empty LOG, then into one that already holds as much text: appending should
    // cost the same both times.
    double emptyMemoMs = 0;
    {
        kestrine::ui::TLogMemo empty;
        const auto begin = Clock::now();
        kestrine::core::RunCutter(command, empty, 0);
        Settle();
        emptyMemoMs = MillisecondsSince(begin);
    }
    kestrine::ui::TLogMemo memo;
    {
        const QString filler = QString(2399, QLatin1Char('x')) + QLatin1Char('\n');
        for (std::size_t filled = 0; filled < size; filled += 2400)
            memo.AppendText(filler);
        Settle();
    }
    auto start = Clock::now();
    kestrine::core::RunCutter(command, memo, 0);
    Settle();
    const double memoMs = MillisecondsSince(start);

    MemoryLog memory;
    start = Clock::now();
    kestrine::core::RunCutter(command, memory, 0);
    Settle();
    const double memoryMs = MillisecondsSince(start);
    if (static_cast<std::size_t>(memory.Size()) < size) {
        std::fprintf(stderr, "the log got %lld of %zu bytes\n", static_cast<long long>(memory.Size()), size);
        return 1;
    }

    // A run with no output: the cost of starting and of noticing the end.
    start = Clock::now();
    kestrine::core::RunCutter(kestrine::core::Quote("/bin/true"), memory, 0);
    const double emptyRunMs = MillisecondsSince(start);
    const double emptyPeerMs = TimeProgram({"/bin/true"});

    const double mb = static_cast<double>(size) / (1 << 20);
    Bench("cp_copy_ms", cpMs, "ms");
    Bench("pipe_read_ms", pipeMs, "ms");
    Bench("cutter_runner_into_long_log_memo_ms", memoMs, "ms");
    Bench("cutter_runner_into_empty_log_memo_ms", emptyMemoMs, "ms");
    Bench("cutter_runner_into_memory_ms", memoryMs, "ms");
    Bench("cutter_runner_into_long_log_memo_mb_per_s", mb / (memoMs / 1000), "MB/s");
    Bench("cp_mb_per_s", mb / (cpMs / 1000), "MB/s");
    Bench("cutter_runner_memo_vs_cp", memoMs / cpMs, "x");
    Bench("cutter_runner_memory_vs_cp", memoryMs / cpMs, "x");
    Bench("cutter_runner_long_vs_empty_log", memoMs / emptyMemoMs, "x");
    Bench("cutter_runner_empty_run_ms", emptyRunMs, "ms");
    Bench("plain_spawn_empty_run_ms", emptyPeerMs, "ms");

    fs::remove_all(dir);
    return 0;
}
