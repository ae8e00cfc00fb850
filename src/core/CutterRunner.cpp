#include "core/CutterRunner.h"

#include <QCoreApplication>
#include <array>
#include <chrono>

#include "core/CommandLine.h"
#include "core/Utf8StreamDecoder.h"
#include "platform/AsyncKeyState.h"
#include "platform/ChildProcess.h"

namespace kestrine::core {

namespace {

using platform::ChildProcess;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds PollInterval{100};

// Moves the child's output into the LOG, chunk by chunk, as it becomes available.
class OutputPump {
public:
    OutputPump(ChildProcess& child, LogText& log) : child_(child), log_(log) {}

    // Reads and appends everything pending; never waits.
    void Drain()
    {
        for (;;) {
            const std::size_t n = child_.ReadAvailable(buffer_);
            if (n == 0)
                return;
            Append(decoder_.Decode(std::string_view(buffer_.data(), n)));
        }
    }

    void Finish() { Append(decoder_.Finish()); }

private:
    void Append(const QString& text)
    {
        if (!text.isEmpty())
            log_.AppendText(text);
    }

    ChildProcess& child_;
    LogText& log_;
    Utf8StreamDecoder decoder_;
    std::array<char, CutterOutputChunk> buffer_{};
};

// The 100 ms pause of the wait, spent reading whatever the child writes meanwhile.
// It ends early only when the child has ended.
void PauseWhileReading(ChildProcess& child, OutputPump& pump)
{
    const auto deadline = Clock::now() + PollInterval;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || child.HasEnded())
            return;
        child.WaitForOutputOrEnd(left);
        pump.Drain();
    }
}

bool EscapeSeen(platform::AsyncKeyState* keys)
{
    return keys && keys->Query(Qt::Key_Escape).Any();
}

}  // namespace

void RunCutter(const std::string& commandLine, LogText& logEdit, std::int64_t pipeSize,
               const CutterStop* stop)
{
    const std::vector<std::string> argv = SplitCommandLine(commandLine);
    std::optional<ChildProcess> child = ChildProcess::Start(argv, pipeSize);
    if (!child)
        return;

    platform::AsyncKeyState* keys = platform::AsyncKeyState::ForApplication();
    // An Escape pressed before this run (to leave full screen, to close a dialog) is not
    // a request to give up this one.
    if (keys)
        keys->Query(Qt::Key_Escape);

    OutputPump pump(*child, logEdit);
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        // Keys reach the tracker only as their events are dispatched, so Escape is looked at
        // right after dispatching: a press during the pause ends the wait at once.
        if (EscapeSeen(keys) || (stop && stop->Requested()))
            break;
        PauseWhileReading(*child, pump);
        if (child->HasEnded())
            break;
    }
    // A cutter given up and left running would still rename its output into place later,
    // over a file a later Record made meanwhile.
    child->Terminate(std::chrono::milliseconds(CutterTerminationGraceMs));
    pump.Drain();
    pump.Finish();
    logEdit.AppendLine(QStringLiteral(" "));
}

}  // namespace kestrine::core
