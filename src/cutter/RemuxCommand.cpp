#include "cutter/RemuxCommand.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <optional>

#include <unistd.h>

#include "asf/AppendUndo.h"
#include "asf/FormatError.h"
#include "asf/Protection.h"
#include "cutter/AppendedOutput.h"
#include "cutter/AtomicOutputFile.h"

namespace kestrine::cutter {

namespace {

class AtomicSink : public asf::OutputSink {
public:
    explicit AtomicSink(AtomicOutputFile& file) : file_(file) {}
    void Write(std::span<const std::uint8_t> bytes) override { file_.Write(bytes); }
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override { file_.WriteAt(offset, bytes); }
    std::uint64_t Size() const override { return file_.Size(); }
    void WriteCopyOf(std::span<const std::uint8_t> bytes, const asf::InputFile& file, std::uint64_t offset) override
    {
        file_.CopyRange(file.Descriptor(), offset, bytes.size());
    }
    void WriteRangeOf(const asf::InputFile& file, std::uint64_t offset, std::uint64_t size) override
    {
        file_.CopyRange(file.Descriptor(), offset, size);
    }

private:
    AtomicOutputFile& file_;
};

// An input's problem is reported with its name; the engine's own messages do not carry one.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A join with -append: its first input's file becomes the output, or nothing is changed and the
// caller writes the output anew (said in a note).
std::optional<asf::RemuxResult> AppendToFirstInput(const Arguments& args, const std::vector<asf::RemuxSource>& sources,
                                                   const asf::RemuxOptions& options, const Printer& print)
{
    const std::vector<std::string> others(args.inputs.begin() + 1, args.inputs.end());
    try {
        AppendedOutput out(*sources.front().file, others, args.output, args.overwrite);
        asf::RemuxResult result = asf::Remux(sources, out, options);
        out.Commit();
        print("Appended to " + QuotedPath(args.inputs.front()) + ", which is now the output; " +
              QuotedPath(asf::AppendUndoPath(args.output).string()) + " gives it back");
        return result;
    } catch (const NotAppendable& e) {
        print("Note: " + QuotedPath(args.inputs.front()) + " is not appended to (" + e.what() +
              "); the output is written anew");
        return std::nullopt;
    }
}

}  // namespace

std::string SecondsText(std::int64_t ms)
{
    const bool negative = ms < 0;
    const std::uint64_t a = negative ? static_cast<std::uint64_t>(-(ms + 1)) + 1 : static_cast<std::uint64_t>(ms);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%llu.%03llu", negative ? "-" : "", static_cast<unsigned long long>(a / 1000),
                  static_cast<unsigned long long>(a % 1000));
    return buffer;
}

std::string QuotedPath(const std::string& path) { return "\"" + path + "\""; }

asf::AsfFile OpenInput(const std::string& path)
{
    try {
        asf::AsfFile file = asf::AsfFile::Open(path);
        // The payloads are encrypted: what a rewrite of them would give no player here could show,
        // and the licence may not follow the rewritten file.
        if (const auto protection = asf::ProtectionOf(file.Header()))
            throw InputError(path + ": the media are protected by rights management (" + *protection +
                             ") and are not cut, joined or copied");
        return file;
    } catch (const asf::FormatError& e) {
        throw InputError(path + ": " + e.what());
    }
}

asf::RemuxResult WriteOutput(const Arguments& args, const std::vector<asf::RemuxSource>& sources, const Printer& print)
{
    asf::RemuxOptions options;
    options.writeIndex = !args.noIndex;
    // At most once a second, and only in steps of 5 %, so even a long run says little: the editor
    // may read its pipe only once the run is over.
    auto last = std::chrono::steady_clock::now();
    int lastStep = 0;
    options.progress = [&](double share) {
        const auto now = std::chrono::steady_clock::now();
        const int step = static_cast<int>(share * 20.0);
        if (now - last < std::chrono::seconds(1) || step <= lastStep) return;
        last = now;
        lastStep = step;
        print("Progress: " + std::to_string(step * 5) + "%");
    };
    std::optional<asf::RemuxResult> appended;
    if (args.append) appended = AppendToFirstInput(args, sources, options, print);
    const asf::RemuxResult result = appended ? *appended : [&] {
        AtomicOutputFile file(args.output, args.overwrite);
        AtomicSink sink(file);
        asf::RemuxResult written = asf::Remux(sources, sink, options);
        file.Commit();
        // A record left by an earlier join into this name describes another file.
        if (args.append) ::unlink(asf::AppendUndoPath(args.output).c_str());
        return written;
    }();

    std::string streams;
    for (const auto& s : result.streams) {
        if (!streams.empty()) streams += ", ";
        streams += "stream " + std::to_string(s.number) + ": " + std::to_string(s.objects) + " objects";
        if (s.kind == asf::StreamKind::Video) streams += " (" + std::to_string(s.keyFrames) + " keyframes)";
    }
    print("Written " + QuotedPath(args.output) + ": duration " + SecondsText(result.DurationMs()) + " s, " +
          std::to_string(result.packets) + " packets of " + std::to_string(result.packetSize) + " bytes, " +
          std::to_string(result.fileSize) + " bytes, " +
          (result.indexes ? std::to_string(result.indexes) + " index(es)" : std::string("no index")));
    if (result.packetsCopiedUnread)
        streams += " (objects counted from packet " + std::to_string(result.packetsCopiedUnread) + " on)";
    print("Streams: " + streams);
    for (const asf::RemuxSource& source : sources)
        if (source.file->Data().truncated)
            print("Warning: " + QuotedPath(source.file->Path().string()) +
                  " ends before its Data Object does; only its complete packets were used");
    if (result.damagedPackets)
        print("Warning: " + std::to_string(result.damagedPackets) + " damaged packet(s) skipped (first: " +
              result.firstDamage + ")");
    if (result.sendTimeConflicts)
        print("Warning: " + std::to_string(result.sendTimeConflicts) +
              " packet(s) carry media presented before their send time (the source's order runs back too far)");
    if (result.droppedObjects)
        print("Warning: " + std::to_string(result.droppedObjects) + " incomplete media object(s) left out");
    return result;
}

int RunReporting(const Printer& print, const std::function<void()>& body)
{
    try {
        body();
        return kExitSuccess;
    } catch (const UsageError&) {
        throw;  // the caller reports these with the usage hint
    } catch (const std::bad_alloc&) {
        print("Error: out of memory; nothing was written");
    } catch (const std::exception& e) {
        print(std::string("Error: ") + e.what() + "; nothing was written");
    }
    return kExitFailure;
}

}  // namespace kestrine::cutter
