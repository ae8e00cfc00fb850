#pragma once
// Rewrites the media objects of one or more ASF files into a new file, without touching the media:
// the engine under cut, join and copy.
//
//   RemuxSource src;                          // per input
//   src.file = &file;  src.firstPacket = 120;  src.span = {fromMs, toMs, shiftMs};
//   src.startOnKeyframe = true;               // video streams begin at their first keyframe in the span
//   RemuxOptions options;  options.writeIndex = true;
//   RemuxResult r = Remux({src}, sink, options);
//
// A join's first input written by this engine is copied unread up to a keyframe near its end, and
// what the run needs of the part not read comes from its index and the packets after (ResumePoint.h).
//
// What is written: the first input's header (HeaderWriter.h), a Data Object, and a
// Simple Index Object for every video stream unless writeIndex is false. Each input contributes its
// whole media objects whose presentation time lies in its span, in its own order, with the span's
// shift added and media object numbers counted afresh per stream. An input marked alignToPrevious
// is shifted instead so that its earliest presentation time follows the end of what came before.
//
// Packets: a source packet all of whose payloads are written whole and unchanged (the bulk of any
// span) is passed on as it is, with only its send time, presentation times and media object numbers
// patched in place. The rest (at a span's edges, around damage, objects to drop) are built afresh at
// the first input's packet size and error correction layout (DataPacketWriter.h); an object may
// begin in one kind of packet and end in the other. A first input that keeps its times (a join's,
// a copy's) keeps its packets' place within 4096-byte blocks, and packets that come out unchanged go
// to the sink as copies of the input's bytes (OutputSink::WriteCopyOf).
//
// Memory stays bounded: packets are read sequentially, only the media object in progress of each
// stream is held, and the packet writer holds a fixed number of packets.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "asf/AsfFile.h"
#include "asf/HeaderWriter.h"

namespace kestrine::asf {

// Where the output goes: appending, patching what was written, and its current size.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void Write(std::span<const std::uint8_t> bytes) = 0;
    virtual void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual std::uint64_t Size() const = 0;
    // Appends `bytes`, which are also the `bytes.size()` bytes of `file` at `offset`: a sink may
    // copy them from there within the kernel (or share the blocks) instead.
    virtual void WriteCopyOf(std::span<const std::uint8_t> bytes, const InputFile& file, std::uint64_t offset)
    {
        (void)file;
        (void)offset;
        Write(bytes);
    }
    // Appends the `size` bytes of `file` at `offset`, read from there or copied within the kernel.
    virtual void WriteRangeOf(const InputFile& file, std::uint64_t offset, std::uint64_t size);
};

struct RemuxSource {
    const AsfFile* file = nullptr;
    std::uint64_t firstPacket = 0;   // reading begins here
    PresentationSpan span;           // objects kept and the shift (ms, presentation times)
    bool startOnKeyframe = false;    // drop each video stream's objects before its first keyframe in the span
    bool alignToPrevious = false;    // shift = end of the output so far minus earliestPresentationMs
    std::int64_t earliestPresentationMs = 0;  // used with alignToPrevious
};

struct RemuxOptions {
    bool writeIndex = true;
    // A join's first input that this engine wrote (ResumePoint.h) is copied unread up to near its
    // end and read from there; the output is the same as when it is read whole.
    bool resumeOwnFirstInput = true;
    // Called now and then with the share of the work done over all inputs (0..1).
    std::function<void(double)> progress;
};

struct RemuxStreamResult {
    std::uint16_t number = 0;
    StreamKind kind = StreamKind::Other;
    std::uint64_t objects = 0;
    std::uint64_t keyFrames = 0;
};

struct RemuxResult {
    std::uint64_t packets = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t playDuration = 0;          // 100 ns, preroll included
    std::uint64_t prerollMs = 0;
    std::uint32_t packetSize = 0;
    std::vector<std::int64_t> inputShiftMs;  // the shift each input got
    std::vector<std::int64_t> inputEndMs;    // the output's end (editor timeline, ms) after each input
    std::vector<RemuxStreamResult> streams;
    std::uint64_t damagedPackets = 0;        // skipped while reading
    std::uint64_t droppedObjects = 0;        // incomplete objects left out
    std::uint64_t sendTimeConflicts = 0;
    std::uint64_t indexes = 0;               // Simple Index Objects written
    std::uint64_t packetsPassedOn = 0;       // source packets written as they were, times and numbers patched
    std::uint64_t packetsCopiedUnread = 0;   // of them, the first input's copied without being read:
                                             // the object counts leave their objects out
    std::string firstDamage;

    std::int64_t DurationMs() const
    {
        return static_cast<std::int64_t>(playDuration / 10000) - static_cast<std::int64_t>(prerollMs);
    }
};

// Throws FormatError for input that cannot be rewritten, std::runtime_error when no media object
// falls in the spans; exceptions from the sink pass through.
RemuxResult Remux(const std::vector<RemuxSource>& sources, OutputSink& out, const RemuxOptions& options);

// The error correction bytes (flags and data) the file's packets carry, from its first readable
// packet; {0x82, 0, 0} when none can be read.
std::vector<std::uint8_t> PacketErrorCorrection(const AsfFile& file);

}  // namespace kestrine::asf
