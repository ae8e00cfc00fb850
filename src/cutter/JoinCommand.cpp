#include "cutter/JoinCommand.h"

#include <stdexcept>

#include "asf/JoinCompatibility.h"
#include "asf/SpanSearch.h"

namespace kestrine::cutter {

int RunJoin(const Arguments& args, const Printer& print)
{
    CheckOutputIsNoInput(args);
    return RunReporting(print, [&] {
        std::vector<asf::AsfFile> files;
        files.reserve(args.inputs.size());
        for (const std::string& name : args.inputs) files.push_back(OpenInput(name));
        for (std::size_t i = 1; i < files.size(); ++i) {
            if (auto difference = asf::JoinDifference(files.front().Header(), files[i].Header()))
                throw std::runtime_error("cannot join " + QuotedPath(args.inputs.front()) + " and " +
                                         QuotedPath(args.inputs[i]) + ": " + *difference);
        }
        std::string list;
        for (std::size_t i = 0; i < args.inputs.size(); ++i)
            list += (i == 0 ? "" : i + 1 == args.inputs.size() ? " and " : ", ") + QuotedPath(args.inputs[i]);
        print("Joining " + list + " into " + QuotedPath(args.output));

        std::vector<asf::RemuxSource> sources;
        for (std::size_t i = 0; i < files.size(); ++i) {
            asf::RemuxSource s;
            s.file = &files[i];
            if (i > 0) {
                s.alignToPrevious = true;
                s.earliestPresentationMs = asf::EarliestPresentationMs(files[i]);
            }
            sources.push_back(s);
        }
        const asf::RemuxResult result = WriteOutput(args, sources, print);
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::int64_t begin = i == 0 ? 0 : result.inputEndMs[i - 1];
            print("Input " + std::to_string(i + 1) + " " + QuotedPath(args.inputs[i]) + ": " + SecondsText(begin) +
                  " s to " + SecondsText(result.inputEndMs[i]) + " s");
        }
    });
}

}  // namespace kestrine::cutter
