#include "cutter/Arguments.h"
#include "cutter/KeyFrameReport.h"

#include <array>
#include <filesystem>
#include <limits>
#include <system_error>

namespace kestrine::cutter {

namespace {

constexpr std::array<std::string_view, 12> kSwitches = {
    "-i", "-o", "-start", "-stop", "-y", "-cvb", "-noindex", "-append", "-infokf", "-h", "--help", "--version",
};

bool IsSwitch(std::string_view token)
{
    for (std::string_view s : kSwitches)
        if (token == s) return true;
    return false;
}

// Names from the command line are shown on one line, so an odd name cannot forge another message line.
std::string Quoted(std::string_view text) { return "\"" + SafeReportText(std::string(text), 4096) + "\""; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Takes the value after a switch; a following switch means the value was left out.
std::string_view TakeValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name,
                           std::string_view what)
{
    if (i + 1 >= args.size() || IsSwitch(args[i + 1]))
        throw UsageError(std::string(name) + " needs " + std::string(what));
    ++i;
    return args[i];
}

}  // namespace

std::string TimeArgument::Text() const
{
    // Work on the magnitude as unsigned so the most negative count cannot overflow.
    const bool negative = tenThousandths < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                             : static_cast<std::uint64_t>(tenThousandths);
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        while (digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text;
}

TimeArgument ParseTimeArgument(std::string_view text, std::string_view switchName)
{
    const auto malformed = [&] {
        return UsageError(std::string(switchName) + " needs seconds written like 12.5 or 83.0417 " +
                          "(a point and at most four decimals), not " + Quoted(text));
    };
    std::size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++pos;
    const std::size_t intStart = pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
    if (pos == intStart) throw malformed();
    const std::string_view whole = text.substr(intStart, pos - intStart);
    std::string_view fraction;
    if (pos < text.size()) {
        if (text[pos] != '.') throw malformed();
        ++pos;
        const std::size_t fracStart = pos;
        while (pos < text.size() && IsDigit(text[pos])) ++pos;
        fraction = text.substr(fracStart, pos - fracStart);
        if (fraction.empty() || fraction.size() > 4 || pos != text.size()) throw malformed();
    }

    constexpr std::int64_t kMaxSeconds = std::numeric_limits<std::int64_t>::max() / 10000 - 1;
    std::int64_t seconds = 0;
    for (char c : whole) {
        seconds = seconds * 10 + (c - '0');
        if (seconds > kMaxSeconds)
            throw UsageError(std::string(switchName) + " " + std::string(text) + " is out of range");
    }
    std::int64_t fractional = 0;
    for (std::size_t k = 0; k < 4; ++k)
        fractional = fractional * 10 + (k < fraction.size() ? fraction[k] - '0' : 0);
    const std::int64_t count = seconds * 10000 + fractional;
    return TimeArgument{negative ? -count : count};
}

Arguments ParseArguments(const std::vector<std::string>& args)
{
    Arguments result;
    bool keyframeReport = false;
    bool haveOutput = false;
    bool anyFlag = false;  // -y, -cvb or -noindex seen
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& token = args[i];
        if (token == "-h" || token == "--help") return Arguments{};
        if (token == "--version") {
            Arguments version;
            version.command = Command::Version;
            return version;
        }
        if (token == "-i") {
            std::string_view value = TakeValue(args, i, "-i", "a file name");
            if (value.empty()) throw UsageError("-i needs a file name, not an empty one");
            result.inputs.emplace_back(value);
        } else if (token == "-o") {
            std::string_view value = TakeValue(args, i, "-o", "a file name");
            if (value.empty()) throw UsageError("-o needs a file name, not an empty one");
            if (haveOutput) throw UsageError("-o is given twice; a run writes one output");
            result.output = value;
            haveOutput = true;
        } else if (token == "-start" || token == "-stop") {
            std::optional<TimeArgument>& slot = token == "-start" ? result.start : result.stop;
            std::string_view value = TakeValue(args, i, token, "a time in seconds");
            if (slot) throw UsageError(token + " is given twice");
            slot = ParseTimeArgument(value, token);
        } else if (token == "-y") {
            result.overwrite = anyFlag = true;
        } else if (token == "-cvb") {
            result.startAtKeyframeBefore = anyFlag = true;
        } else if (token == "-noindex") {
            result.noIndex = anyFlag = true;
        } else if (token == "-append") {
            result.append = true;
        } else if (token == "-infokf") {
            keyframeReport = true;
        } else if (!token.empty() && token[0] == '-') {
            throw UsageError("unknown switch " + Quoted(token) + " (asfbin.exe -h lists the switches)");
        } else {
            throw UsageError("unexpected argument " + Quoted(token) +
                             " (file names follow -i or -o; quote names that hold blanks)");
        }
    }

    const bool haveTimes = result.start || result.stop;
    if (result.inputs.empty()) {
        if (args.empty()) throw UsageError("nothing to do (asfbin.exe -h shows how to use it)");
        throw UsageError("no input file: give one with -i");
    }
    if (keyframeReport) {
        if (result.inputs.size() != 1) throw UsageError("-infokf reports on exactly one input file");
        if (haveOutput) throw UsageError("-infokf writes no file; leave out -o");
        if (haveTimes) throw UsageError("-infokf reports the whole file; leave out -start and -stop");
        if (anyFlag) throw UsageError("-y, -cvb and -noindex apply to writing a file, not to -infokf");
        if (result.append) throw UsageError("-append applies to a join of two or more inputs");
        result.command = Command::KeyframeReport;
        return result;
    }
    if (!haveOutput) throw UsageError("no output file: give one with -o (or -infokf for a keyframe report)");
    if (result.append && result.inputs.size() < 2)
        throw UsageError("-append applies to a join of two or more inputs");
    if (result.inputs.size() > 1) {
        if (haveTimes) throw UsageError("-start and -stop cut a single input; a join of several takes none");
        result.command = Command::Join;
        return result;
    }
    if (!haveTimes) {
        result.command = Command::Copy;
        return result;
    }
    if (result.start && result.stop && *result.stop <= *result.start)
        throw UsageError("-stop " + result.stop->Text() + " is not after -start " + result.start->Text() +
                         ": nothing to cut");
    result.command = Command::Cut;
    return result;
}

Arguments ParseArguments(int argc, const char* const* argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return ParseArguments(args);
}

void CheckOutputIsNoInput(const Arguments& args)
{
    if (args.output.empty()) return;
    const std::filesystem::path output = args.output;
    for (const std::string& input : args.inputs) {
        std::error_code ec;
        // equivalent() compares device and inode, so links and spellings like "./a/../b" are caught;
        // an output that does not exist yet cannot be an input.
        const bool same = input == args.output || std::filesystem::equivalent(input, output, ec);
        if (same)
            throw UsageError("the output " + Quoted(args.output) + " is the input " + Quoted(input) +
                             "; write to another file");
    }
}

std::string UsageText()
{
    return "Usage:\n"
           "  asfbin.exe -i \"FILE\" -infokf\n"
           "      Report what FILE holds and list its keyframes, one line per keyframe (milliseconds).\n"
           "  asfbin.exe -i \"SRC\" -o \"OUT\" -start T -stop T [-y] [-cvb] [-noindex]\n"
           "      Cut SRC from -start to -stop into OUT without re-encoding.\n"
           "      -start alone cuts to the end, -stop alone cuts from the beginning.\n"
           "  asfbin.exe -i \"A\" -i \"B\" [-i \"C\" ...] -o \"OUT\" [-append] [-y] [-cvb] [-noindex]\n"
           "      Join the inputs, one after another in the order given, into OUT.\n"
           "      With -append, A's own file becomes OUT: the rest is written after A's packets and\n"
           "      OUT.undo holds what it takes to give A back (done by the editor's Undo).\n"
           "  asfbin.exe -i \"SRC\" -o \"OUT\" [-y] [-noindex]\n"
           "      Rewrite SRC whole into OUT with a fresh index (makes unindexed files seekable).\n"
           "  asfbin.exe -h | --help | --version\n"
           "\n"
           "Switches (in any order):\n"
           "  -i FILE     an input file; give it several times to join\n"
           "  -o FILE     the output file, written only when complete\n"
           "  -start T    where the cut begins, in seconds with a point and up to four decimals\n"
           "  -stop T     where the cut ends (exclusive), in the same form\n"
           "  -y          replace an existing output file\n"
           "  -cvb        start on the last keyframe at or before -start, so nothing after it is lost\n"
           "              (without it the cut starts on the first keyframe at or after -start)\n"
           "  -noindex    write no index objects\n"
           "  -append     join by appending to the first input's file instead of copying it\n"
           "              (it is written anew when that cannot keep its packets in place)\n"
           "  -infokf     print the keyframe report\n"
           "  -h, --help  print this text\n"
           "  --version   print the version\n"
           "\n"
           "Exit codes:\n"
           "  0  success\n"
           "  1  failure (unreadable or unsuitable input, nothing to cut, write error); no output is left\n"
           "  2  usage error in the command line\n";
}

}  // namespace kestrine::cutter
