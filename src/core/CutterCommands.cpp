#include "core/CutterCommands.h"

#include <cstdlib>

#include "core/CommandLine.h"
#include "core/Rounding.h"

namespace kestrine::core {

namespace {

std::string ProgramWord(const std::string& editorDir)
{
    return Quote(editorDir + CutterProgramName);
}

void AppendOptions(std::string& line, CutterOptions options)
{
    line += " -y";
    if (options.Cvb)
        line += " -cvb";
    if (options.NoIndex)
        line += " -noindex";
}

}  // namespace

std::string FormatTimeArgument(double seconds)
{
    const std::int64_t count = RoundHalfEven(seconds * 10000.0);
    // Unsigned magnitude, so the most negative count needs no special case.
    const bool negative = count < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(count) : static_cast<std::uint64_t>(count);

    std::string text;
    if (negative)
        text += '-';
    text += std::to_string(magnitude / 10000);

    std::uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        int digits = 4;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        std::string decimals = std::to_string(fraction);
        text += '.';
        text.append(static_cast<std::size_t>(digits) - decimals.size(), '0');
        text += decimals;
    }
    return text;
}

std::string KeyFrameReportCommand(const std::string& editorDir, const std::string& sourceFile)
{
    return ProgramWord(editorDir) + " -i " + Quote(sourceFile) + " -infokf";
}

std::string CutCommand(const std::string& editorDir, const std::string& sourceFile,
                       const std::string& tempDir, const std::string& resultName, double markIn,
                       double markOut, CutterOptions options)
{
    std::string line = ProgramWord(editorDir);
    line += " ";
    line += " -i ";
    line += Quote(sourceFile);
    line += " -o ";
    line += Quote(tempDir + resultName);
    line += " -start ";
    line += FormatTimeArgument(markIn);
    line += " -stop ";
    line += FormatTimeArgument(markOut);
    AppendOptions(line, options);
    return line;
}

std::string JoinCommand(const std::string& editorDir, const std::string& tempDir,
                        std::int32_t resultCounter, const std::string& resultName,
                        CutterOptions options)
{
    std::string line = ProgramWord(editorDir);
    line += " ";
    line += " -i ";
    line += Quote(tempDir + ResultFileName(std::int64_t{resultCounter} - 1));
    line += " -i ";
    line += Quote(tempDir + resultName);
    line += " -o ";
    line += Quote(tempDir + ResultFileName(std::int64_t{resultCounter} + 1));
    // The new result takes over the current one's file instead of copying it, so a Record costs what
    // it adds; Undo gives the current result back from the record the cutter leaves beside it.
    line += " -append";
    AppendOptions(line, options);
    return line;
}

std::string CutCommand(const EditState& state, const std::string& sourceFile, CutterOptions options)
{
    return CutCommand(state.EditorDir, sourceFile, state.TempDir, state.ResultName, state.MarkIn,
                      state.MarkOut, options);
}

std::string JoinCommand(const EditState& state, CutterOptions options)
{
    return JoinCommand(state.EditorDir, state.TempDir, state.ResultCounter, state.ResultName, options);
}

std::string ResultFileName(std::int64_t number)
{
    return "temp" + std::to_string(number);
}

}  // namespace kestrine::core
