#include "cutter/CutCommand.h"

#include <limits>
#include <stdexcept>

#include "asf/SpanSearch.h"

namespace kestrine::cutter {

namespace {

std::string KindText(asf::StreamKind kind) { return kind == asf::StreamKind::Video ? "keyframe" : "audio object"; }

}  // namespace

int RunCut(const Arguments& args, const Printer& print)
{
    CheckOutputIsNoInput(args);
    return RunReporting(print, [&] {
        const std::string& name = args.inputs.front();
        const asf::AsfFile file = OpenInput(name);
        const std::int64_t preroll = static_cast<std::int64_t>(file.Header().fileProperties.prerollMs);
        const TimeArgument start = args.start.value_or(TimeArgument{0});
        const std::string stopText = args.stop ? args.stop->Text() + " s" : std::string("the end");
        print("Cutting " + QuotedPath(name) + " from " + start.Text() + " s to " + stopText + " into " +
              QuotedPath(args.output));

        const auto cut = asf::FindCutStart(file, start.HundredNanoseconds(), args.startAtKeyframeBefore);
        // Presentation time (ms) before which objects are kept: editor time below stop.
        std::int64_t toMs = std::numeric_limits<std::int64_t>::max();
        if (args.stop) {
            const std::int64_t stop100ns = args.stop->HundredNanoseconds();
            const std::int64_t ceilMs = stop100ns >= 0 ? (stop100ns + 9999) / 10000 : -((-stop100ns) / 10000);
            toMs = ceilMs + preroll;
        }
        if (!cut || std::int64_t{cut->presentationMs} >= toMs) {
            std::string where = args.startAtKeyframeBefore ? "at or before " : "at or after ";
            throw std::runtime_error(name + ": no keyframe lies " + where + start.Text() + " s and before " + stopText +
                                     ", so there is nothing to cut");
        }
        print("Start: " + KindText(cut->kind) + " at " + SecondsText(cut->timeMs) + " s" +
              (cut->timeMs < 0 ? " (before the preroll, counted as 0)" : "") + " (stream " +
              std::to_string(cut->stream) + ", packet " + std::to_string(cut->packet) + ")" +
              (args.startAtKeyframeBefore ? ", the last at or before the start" : ", the first at or after the start"));

        asf::RemuxSource source;
        source.file = &file;
        source.firstPacket = cut->readFrom;
        source.span.fromMs = cut->presentationMs;
        source.span.toMs = toMs;
        source.span.shiftMs = preroll - std::int64_t{cut->presentationMs};
        source.startOnKeyframe = true;
        const asf::RemuxResult result = WriteOutput(args, {source}, print);
        print("Cut " + SecondsText(cut->timeMs) + " s to " + SecondsText(cut->timeMs + result.DurationMs()) +
              " s of the source.");
    });
}

}  // namespace kestrine::cutter
