#pragma once
// What cut, join and copy share: opening the inputs, writing through an atomic output file,
// progress at most once a second, and the lines that say what was done.
//
//   Printer print = [](const std::string& line) { ... };   // one line, without its line end
//   int code = RunCut(args, print);                         // kExitSuccess or kExitFailure
//
// Every failure is reported as "Error: ..." lines and leaves no output file behind; an existing
// output is replaced only by a complete new one, and only with -y.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "asf/AsfFile.h"
#include "asf/Remuxer.h"
#include "cutter/Arguments.h"

namespace kestrine::cutter {

using Printer = std::function<void(const std::string& line)>;

// Milliseconds as seconds with three decimals: "12.480", "-0.046".
std::string SecondsText(std::int64_t ms);
// A path in double quotes, as messages show them.
std::string QuotedPath(const std::string& path);

// An input opened for reading; the error names the file. Protected (DRM) media are refused.
asf::AsfFile OpenInput(const std::string& path);

// Writes `sources` into args.output (atomically, honouring -y and -noindex) and prints the summary
// lines common to every command. Throws on failure; nothing is left at the output then.
asf::RemuxResult WriteOutput(const Arguments& args, const std::vector<asf::RemuxSource>& sources,
                             const Printer& print);

// Runs a command's body, turning its exceptions into "Error: " lines and the exit code.
int RunReporting(const Printer& print, const std::function<void()>& body);

}  // namespace kestrine::cutter
