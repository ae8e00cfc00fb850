// libFuzzer target for the cutter's command-line parser. The input is a list of arguments
// separated by NUL bytes (an argument cannot hold one). A command line is either refused with a
// UsageError or gives a command whose parts fit together; a time that parses prints back as
// text that parses to the same time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cutter/Arguments.h"

namespace {

using kestrine::cutter::Arguments;
using kestrine::cutter::Command;

void CheckTimeRoundTrip(const std::string& text)
{
    try {
        const kestrine::cutter::TimeArgument t = kestrine::cutter::ParseTimeArgument(text);
        const std::string printed = t.Text();
        if (kestrine::cutter::ParseTimeArgument(printed) != t) std::abort();
        if (printed.find_first_of("eE") != std::string::npos) std::abort();
    } catch (const kestrine::cutter::UsageError& e) {
        if (std::string(e.what()).empty()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    if (size == 0) args.clear();

    for (const std::string& a : args) CheckTimeRoundTrip(a);

    Arguments parsed;
    try {
        parsed = kestrine::cutter::ParseArguments(args);
    } catch (const kestrine::cutter::UsageError& e) {
        // One line, unless a word it quotes held a line break itself.
        const std::string message = e.what();
        bool breakGiven = false;
        for (const std::string& a : args) breakGiven = breakGiven || a.find('\n') != std::string::npos;
        if (message.empty() || (!breakGiven && message.find('\n') != std::string::npos)) std::abort();
        return 0;
    }

    switch (parsed.command) {
    case Command::Help:
    case Command::Version:
        break;
    case Command::KeyframeReport:
        if (parsed.inputs.size() != 1) std::abort();
        break;
    case Command::Cut:
        if (parsed.inputs.size() != 1 || parsed.output.empty()) std::abort();
        if (!parsed.start && !parsed.stop) std::abort();
        break;
    case Command::Copy:
        if (parsed.inputs.size() != 1 || parsed.output.empty()) std::abort();
        if (parsed.start || parsed.stop) std::abort();
        break;
    case Command::Join:
        if (parsed.inputs.size() < 2 || parsed.output.empty()) std::abort();
        if (parsed.start || parsed.stop) std::abort();
        break;
    }

    // The argc/argv form reads the same words the same way.
    std::vector<const char*> argv{"asfbin.exe"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    try {
        if (kestrine::cutter::ParseArguments(static_cast<int>(argv.size() - 1), argv.data()) != parsed)
            std::abort();
    } catch (const kestrine::cutter::UsageError&) {
        std::abort();
    }
    return 0;
}
