#pragma once
// Builds the Simple Index Object of one video stream while its packets are written, and says what
// the header must then claim about indexes.
//
//   SimpleIndexWriter index;                       // one entry per second
//   ... for each keyframe media object of the stream, in file order:
//       PacketPlacement where = packets.Add(piece);
//       index.AddKeyframe(piece.presentationTime * 10000ull, where.firstPacket, where.lastPacket);
//   index.Finish(playDuration);                    // 100 ns, preroll included, as in File Properties
//   out.Write(index.Serialize(fileId));            // after the Data Object
//
// Times are presentation times in 100-ns units, preroll included: entry n stands for time n * interval
// and points at the packet where the last keyframe at or before that time begins, with the number of
// packets that keyframe spans. Entries before the first keyframe point at the first keyframe.
// Memory grows with the number of entries (duration / interval), not with the number of keyframes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "asf/AsfFile.h"  // SimpleIndexEntry, the same value type the reader parses into
#include "asf/Guid.h"

namespace kestrine::asf {

class SimpleIndexWriter {
public:
    static constexpr std::uint64_t kOneSecond = 10'000'000;

    // Throws std::invalid_argument for an interval of 0.
    explicit SimpleIndexWriter(std::uint64_t interval = kOneSecond);

    // A keyframe beginning in packet firstPacket and ending in lastPacket. Keyframes must come in
    // ascending time; one not later than the keyframe before it cannot be the target of any entry
    // that keyframe does not already serve better, and is passed over (counted in SkippedKeyframes).
    // Throws std::out_of_range for packet numbers beyond the index's 32 bits or last < first.
    void AddKeyframe(std::uint64_t presentationTime, std::uint64_t firstPacket, std::uint64_t lastPacket);

    // Continues an index whose entries before some keyframe are known, the keyframe before it having
    // come at lastKeyframeTime: the next keyframe added must be later than that.
    void Resume(std::vector<SimpleIndexEntry> entries, std::uint64_t lastKeyframeTime);

    // Adds the entries up to and including endTime. Throws std::logic_error when called twice.
    void Finish(std::uint64_t endTime);

    bool HasKeyframes() const { return last_.has_value(); }
    std::uint64_t Interval() const { return interval_; }
    const std::vector<SimpleIndexEntry>& Entries() const { return entries_; }
    std::uint32_t MaximumPacketCount() const { return maximumPacketCount_; }
    std::uint64_t SkippedKeyframes() const { return skipped_; }

    // The complete object: GUID, size, file ID, interval, maximum packet count, entries.
    std::vector<std::uint8_t> Serialize(const Guid& fileId) const;
    // Its size in bytes, known before it is serialized (for the file size in File Properties).
    std::uint64_t SerializedSize() const { return kObjectHeaderSize + 6 * entries_.size(); }
    static constexpr std::uint64_t kObjectHeaderSize = 16 + 8 + 16 + 8 + 4 + 4;

private:
    struct Keyframe {
        std::uint64_t time;
        SimpleIndexEntry entry;
    };
    void FillUntil(std::uint64_t time, bool inclusive, const SimpleIndexEntry& entry);

    std::uint64_t interval_;
    std::vector<SimpleIndexEntry> entries_;
    std::optional<Keyframe> last_;
    std::uint32_t maximumPacketCount_ = 0;
    std::uint64_t skipped_ = 0;
    bool finished_ = false;
};

// ---- What the header says about indexes --------------------------------------------------------

// The index objects written after the Data Object.
struct WrittenIndexes {
    bool simpleIndex = false;       // a Simple Index Object for every video stream
    bool index = false;             // an Index Object
    bool mediaObjectIndex = false;  // a Media Object Index Object
    bool timecodeIndex = false;     // a Timecode Index Object
};

// Whether a header extension object of this type can be carried over: the Index Parameters,
// Media Object Index Parameters and Timecode Index Parameters objects describe an index object
// and must go when that index is not written. Every other type is kept.
bool KeepHeaderExtensionObject(const Guid& objectType, const WrittenIndexes& written);

// A file is seekable when every video stream has its simple index; a file without video (audio in
// packets of one fixed size, which is all this engine writes) always is.
bool IsSeekable(std::size_t videoStreams, std::size_t indexedVideoStreams);

// The File Properties flags for a finished file written from one with sourceFlags: the broadcast
// bit cleared (sizes, counts and durations are all known), the seekable bit as given, the reserved
// bits as they were.
std::uint32_t FilePropertiesFlags(std::uint32_t sourceFlags, bool seekable);

}  // namespace kestrine::asf
