#include "cutter/CopyCommand.h"

namespace kestrine::cutter {

int RunCopy(const Arguments& args, const Printer& print)
{
    CheckOutputIsNoInput(args);
    return RunReporting(print, [&] {
        const std::string& name = args.inputs.front();
        const asf::AsfFile file = OpenInput(name);
        print("Copying " + QuotedPath(name) + " into " + QuotedPath(args.output) +
              (args.noIndex ? " without an index" : " with a fresh index"));
        asf::RemuxSource source;
        source.file = &file;
        WriteOutput(args, {source}, print);
    });
}

}  // namespace kestrine::cutter
