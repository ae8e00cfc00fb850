#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::cutter {

// A time on the editor's timeline, held exactly as the command line wrote it:
// a whole count of ten-thousandths of a second. Binary floating point never touches it.
struct TimeArgument {
    std::int64_t tenThousandths = 0;

    // The same instant in the 100-nanosecond units of ASF headers and indexes.
    std::int64_t HundredNanoseconds() const { return tenThousandths * 1000; }
    // Seconds with at most four decimals, trailing zeros dropped: "12.5", "-0.0312", "0".
    std::string Text() const;

    friend bool operator==(TimeArgument, TimeArgument) = default;
    friend auto operator<=>(TimeArgument, TimeArgument) = default;
};

enum class Command {
    Help,            // -h, --help
    Version,         // --version
    KeyframeReport,  // -i FILE -infokf
    Cut,             // -i SRC -o OUT with -start and/or -stop
    Join,            // two or more -i, -o OUT, optionally -append
    Copy,            // -i SRC -o OUT, no times: rewritten whole with a fresh index
};

struct Arguments {
    Command command = Command::Help;
    std::vector<std::string> inputs;    // in the order given
    std::string output;                 // empty for Help, Version and KeyframeReport
    std::optional<TimeArgument> start;  // Cut only; absent = from the beginning
    std::optional<TimeArgument> stop;   // Cut only; absent = to the end
    bool overwrite = false;             // -y: an existing output may be replaced
    bool startAtKeyframeBefore = false; // -cvb: start on the last keyframe at or before -start
    bool noIndex = false;               // -noindex: write no index objects
    bool append = false;                // -append: a join may take over its first input's file

    friend bool operator==(const Arguments&, const Arguments&) = default;
};

// A command line that cannot be carried out as written. what() is one line meant for the user.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exit codes of the cutter, also listed by the usage text.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the work failed: bad input, write error, nothing to cut
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// Parses the arguments after the program name. Throws UsageError.
Arguments ParseArguments(const std::vector<std::string>& args);
Arguments ParseArguments(int argc, const char* const* argv);

// Throws UsageError when the output names one of the inputs: the same path, or another name
// (a symbolic or hard link, a different spelling) for the same existing file. Reads the file system.
void CheckOutputIsNoInput(const Arguments& args);

// Parses "12.5", "-3", "0.0312": digits, optionally a point and one to four digits,
// optionally a leading minus. Throws UsageError naming the switch on anything else.
TimeArgument ParseTimeArgument(std::string_view text, std::string_view switchName = "time");

// Usage with every switch and the exit codes, lines ending in '\n'.
std::string UsageText();

}  // namespace kestrine::cutter
