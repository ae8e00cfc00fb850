// asfbin.exe: the command-line cutter. Everything it says goes to standard output, which is all
// the editor captures.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "Version.h"
#include "cutter/Arguments.h"
#include "cutter/CopyCommand.h"
#include "cutter/CutCommand.h"
#include "cutter/JoinCommand.h"
#include "cutter/KeyFrameReport.h"

namespace {

void Print(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void PrintLine(const std::string& line) { Print(line + "\n"); }

}  // namespace

int main(int argc, char** argv)
{
    using namespace kestrine::cutter;
    // Past a file size limit a write should fail (and the partial output be removed) rather than
    // the process be killed with the temporary left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        Arguments args = ParseArguments(argc, argv);
        switch (args.command) {
            case Command::Help:
                Print(UsageText());
                return kExitSuccess;
            case Command::Version:
                Print("asfbin.exe " KESTRINE_VERSION "\n");
                return kExitSuccess;
            case Command::KeyframeReport: {
                KeyFrameReport report = MakeKeyFrameReport(args.inputs.front());
                Print(report.Text());
                return report.exitCode;
            }
            case Command::Cut:
                return RunCut(args, PrintLine);
            case Command::Join:
                return RunJoin(args, PrintLine);
            case Command::Copy:
                return RunCopy(args, PrintLine);
        }
    } catch (const UsageError& e) {
        Print(std::string("Error: ") + e.what() + "\nRun asfbin.exe -h for usage.\n");
        return kExitUsage;
    } catch (const std::exception& e) {
        Print(std::string("Error: ") + e.what() + "\n");
        return kExitFailure;
    }
    return kExitFailure;
}
