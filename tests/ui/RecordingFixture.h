#pragma once
// A main window wired to the real cutter, with every cutter command line it runs recorded.
#include "FormFixture.h"

#include "core/CutterRunner.h"
#include "core/EditState.h"
#include "platform/com/ComRuntime.h"
#include "support/TestEvents.h"
#include "support/TestMedia.h"
#include "ui/Unit2.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrine::test {

struct CutterCall {
    std::string line;
    std::int64_t pipeSize = 0;
};

// ResultCounter, ResultName and HighestResult.
struct Counters {
    std::int32_t counter;
    std::string name;
    std::int32_t highest;
    friend bool operator==(const Counters&, const Counters&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Counters& c)
{
    return os << "{" << c.counter << ", " << c.name << ", " << c.highest << "}";
}

class RecordingTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitialize(nullptr)));
        form = MakeForm();
        logWindow = std::make_unique<ui::TForm2>(form.get());
        form->AttachLogWindow(*logWindow);
        core::Edit.EditorDir = BinDir().string() + "/";
        form->CutterRun = [this](const std::string& line, core::LogText& log, std::int64_t pipeSize,
                                 const core::CutterStop* stop) {
            calls.push_back({line, pipeSize});
            if (beforeRun) beforeRun(line);
            core::RunCutter(rewriteLine ? rewriteLine(line) : line, log, pipeSize, stop);
            if (afterRun) afterRun(line);
        };
        source = MakeMedia(SourceSpec());
        Open(source);
    }

    void TearDown() override
    {
        form->CutterRun = core::RunCutter;
        logWindow.reset();
        form.reset();
        platform::CoUninitialize();
        FormTest::TearDown();
    }

    // 4 s of WMV8 with WMA2, a keyframe every 0.2 s.
    static MediaSpec SourceSpec()
    {
        MediaSpec spec;
        spec.width = 160;
        spec.height = 120;
        spec.gopLength = 5;
        return spec;
    }

    // What Open leaves behind for Record: the source's name and the marks over the whole file.
    void Open(const std::filesystem::path& file)
    {
        form->OpenDialog1.FileName = file.string();
        form->ToolButton24->setEnabled(true);
        Mark(0.0, ProbeDurationSeconds(file));
    }

    static void Mark(double in, double out)
    {
        core::Edit.MarkIn = in;
        core::Edit.MarkOut = out;
    }

    // Marks the span and records it.
    void Record(double in, double out)
    {
        Mark(in, out);
        form->ToolButton24Click();
    }

    std::string Temp(int n) const { return core::Edit.TempDir + "temp" + std::to_string(n); }
    static std::string Q(const std::string& path) { return "\"" + path + "\""; }
    std::string Program() const { return Q(BinDir().string() + "/asfbin.exe"); }

    std::string CutLine(const std::string& sourceFile, int into, const std::string& times, const std::string& options = "") const
    {
        return Program() + "  -i " + Q(sourceFile) + " -o " + Q(Temp(into)) + " " + times + " -y" + options;
    }
    std::string JoinLine(int result, int segment, int into, const std::string& options = "") const
    {
        return Program() + "  -i " + Q(Temp(result)) + " -i " + Q(Temp(segment)) + " -o " + Q(Temp(into)) + " -append -y" + options;
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> out;
        for (const CutterCall& c : calls) out.push_back(c.line);
        return out;
    }

    static Counters Now() { return {core::Edit.ResultCounter, core::Edit.ResultName, core::Edit.HighestResult}; }

    std::unique_ptr<ui::TForm1> form;
    std::unique_ptr<ui::TForm2> logWindow;
    std::filesystem::path source;
    std::vector<CutterCall> calls;
    std::function<void(const std::string&)> beforeRun;
    std::function<void(const std::string&)> afterRun;
    std::function<std::string(std::string)> rewriteLine;  // what really runs, when set
};

}  // namespace kestrine::test
