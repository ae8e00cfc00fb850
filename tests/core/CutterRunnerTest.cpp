#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <thread>

#include "MemoryLogText.h"
#include "OutputPattern.h"
#include "RunnerChildSupport.h"
#include "core/CutterRunner.h"
#include "support/TestPaths.h"

using kestrine::core::RunCutter;
using kestrine::test::ChildCommand;
using kestrine::test::MemoryLogText;
using kestrine::test::PatternText;
namespace fs = std::filesystem;

namespace {

QString Latin(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

void ExpectChunksWithinLimit(const MemoryLogText& log)
{
    for (const QString& chunk : log.Chunks())
        EXPECT_LE(chunk.toUtf8().size(), qsizetype{kestrine::core::CutterOutputChunk} + 3);
}

// The process state letter from /proc, or 0 when the process no longer exists.
char ProcessState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

void PressAndReleaseEscapeOn(QObject* target)
{
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
}

}  // namespace

TEST(CutterRunnerTest, OutputOfExactlyOneChunkAppearsOnceThenTheBlankLine)
{
    MemoryLogText log;
    RunCutter(ChildCommand({"bytes", "2400"}), log, 0);
    EXPECT_EQ(log.Chunks().join(QString()), Latin(PatternText(2400)));
    EXPECT_EQ(log.AppendedLines(), QStringList{QStringLiteral(" ")});
    EXPECT_EQ(log.Text(), Latin(PatternText(2400)) + "\n ");
    ExpectChunksWithinLimit(log);
}

TEST(CutterRunnerTest, LongerOutputArrivesInBoundedChunksFormingOneText)
{
    MemoryLogText log;
    RunCutter(ChildCommand({"bytes", "5000"}), log, 0);
    EXPECT_EQ(log.Chunks().join(QString()), Latin(PatternText(5000)));
    EXPECT_GE(log.Chunks().size(), 3);
    ExpectChunksWithinLimit(log);
    EXPECT_EQ(log.AppendedLines(), QStringList{QStringLiteral(" ")});
}

TEST(CutterRunnerTest, NoOutputGivesOnlyTheBlankLine)
{
    MemoryLogText log;
    RunCutter(ChildCommand({"bytes", "0"}), log, 0);
    EXPECT_TRUE(log.Chunks().isEmpty());
    EXPECT_EQ(log.Text(), QStringLiteral(" "));
}

TEST(CutterRunnerTest, OutputFarBeyondThePipeIsReadWhileTheChildRuns)
{
    // 1 MiB through a one-page pipe would deadlock if the pipe were read only at the end.
    const std::size_t size = 1 << 20;
    for (const std::int64_t pipeSize : {std::int64_t{4096}, std::int64_t{0}}) {
        SCOPED_TRACE(pipeSize);
        // Should the runner deadlock, a late Escape turns the hang into a failure.
        QObject guard;
        QTimer::singleShot(60000, &guard, [&guard] { PressAndReleaseEscapeOn(&guard); });
        MemoryLogText log;
        RunCutter(ChildCommand({"bytes", std::to_string(size), "65536"}), log, pipeSize);
        const QString text = log.Chunks().join(QString());
        ASSERT_EQ(text.size(), qsizetype{size});
        EXPECT_TRUE(text == Latin(PatternText(size)));
        ExpectChunksWithinLimit(log);
    }
}

TEST(CutterRunnerTest, Utf8SplitBetweenChunksComesOutWhole)
{
    {
        // One write of 2399 letters, a euro sign and a letter: the first read ends inside the sign.
        MemoryLogText log;
        const std::string bytes = std::string(2399, 'a') + "\xe2\x82\xac" "b";
        RunCutter(ChildCommand({"hex", QByteArray::fromStdString(bytes).toHex().toStdString()}), log, 0);
        EXPECT_EQ(log.Chunks().join(QString()), QString(2399, QLatin1Char('a')) + QChar(0x20AC) + "b");
    }
    {
        // The sign's bytes in separate writes, then an invalid byte and a sequence broken off.
        MemoryLogText log;
        RunCutter(ChildCommand({"hex", "e282", "ac", "ff41", "e2", "42", "43e282"}), log, 0);
        const QString text = log.Chunks().join(QString());
        const QChar bad(0xFFFD);
        EXPECT_TRUE(text.startsWith(QString(QChar(0x20AC)) + bad + "A" + bad + "B" + "C")) << text.toStdString();
        EXPECT_EQ(text.back(), bad);
    }
}

TEST(NoLostWorkRunner, EscapeOrAStopRequestEndsTheWaitAndTheChildWithIt)
{
    // A child left running would go on writing (the cutter: renaming its output into place) later.
    for (const bool byEscape : {true, false}) {
        SCOPED_TRACE(byEscape ? "Escape" : "stop request");
        const fs::path dir = kestrine::test::FreshTestDir();
        const fs::path release = dir / "release";
        const fs::path done = dir / "done";
        QObject target;
        kestrine::core::CutterStop stop;
        QTimer::singleShot(300, &target, [&] {
            if (byEscape)
                PressAndReleaseEscapeOn(&target);
            else
                stop.Request();
        });

        MemoryLogText log;
        RunCutter(ChildCommand({"wait-for", release.string(), "4000000", done.string()}), log, 0, &stop);

        const QString text = log.Text();
        ASSERT_TRUE(text.startsWith(QLatin1String("pid "))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(QLatin1String("\n ")));
        const pid_t pid = text.mid(4, text.indexOf(QLatin1Char('\n')) - 4).toInt();
        ASSERT_GT(pid, 0);
        EXPECT_EQ(ProcessState(pid), 0) << "the child outlived its run";
        std::ofstream(release).put('x');
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(fs::exists(done));
    }
}

TEST(CutterRunnerTest, AnEscapeFromBeforeTheRunDoesNotEndIt)
{
    QObject target;
    PressAndReleaseEscapeOn(&target);
    QCoreApplication::processEvents();

    MemoryLogText log;
    RunCutter(ChildCommand({"delay", "300", "finished"}), log, 0);
    EXPECT_EQ(log.Text(), QStringLiteral("finished\n "));
}

TEST(CutterRunnerTest, TheApplicationKeepsRunningItsEventsDuringTheWait)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    MemoryLogText log;
    RunCutter(ChildCommand({"delay", "400", "x"}), log, 0);
    EXPECT_GE(ticks, 2);
}

TEST(CutterRunnerTest, AProgramThatCannotBeStartedAppendsNothing)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    const fs::path notExecutable = dir / "asfbin.exe";
    std::ofstream(notExecutable) << "not a program";
    for (const std::string& line : {ChildCommand("/nonexistent/dir/asfbin.exe", {"-i", "x", "-infokf"}),
                                    ChildCommand(notExecutable.string(), {}), ChildCommand(dir.string(), {}),
                                    std::string(), std::string("   ")}) {
        SCOPED_TRACE(line);
        MemoryLogText log;
        RunCutter(line, log, 16384);
        EXPECT_TRUE(log.Text().isEmpty());
        EXPECT_TRUE(log.AppendedLines().isEmpty());
    }
}

TEST(CutterRunnerTest, AwkwardArgumentsAndProgramPathArriveUnchanged)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    const fs::path sentinel = dir / "pwned";
    const fs::path program = kestrine::test::CopyChildTo(dir / "dir with \"quotes\" $(x) `y`" / "runner child");
    const std::vector<std::string> args{
        "argv",
        "",
        "two  blanks",
        "\"quoted\"",
        "back\\slash\\",
        "$(touch " + sentinel.string() + ")",
        "`touch " + sentinel.string() + "`",
        "line\nbreak",
        "-leading",
        std::string("\xff\xfe\x80 not utf-8"),
        "; | & > " + sentinel.string(),
        "*",
    };
    MemoryLogText log;
    RunCutter(ChildCommand(program.string(), args), log, 0);
    EXPECT_EQ(kestrine::test::EchoedArguments(log.Text()), std::vector<std::string>(args.begin() + 1, args.end()));
    EXPECT_FALSE(fs::exists(sentinel));
}

TEST(CutterRunnerTest, ChildReadsAnEmptyInputAndGetsTheRequestedPipe)
{
    MemoryLogText log;
    RunCutter(ChildCommand({"stdin"}), log, 0);
    EXPECT_EQ(log.Text(), QStringLiteral("stdin-eof\n "));

    log.Clear();
    RunCutter(ChildCommand({"pipesize"}), log, 262144);
    EXPECT_EQ(log.Text(), QStringLiteral("262144\n "));
}
