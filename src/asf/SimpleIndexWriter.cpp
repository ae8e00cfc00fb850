#include "asf/SimpleIndexWriter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "asf/ByteWriter.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {

SimpleIndexWriter::SimpleIndexWriter(std::uint64_t interval) : interval_(interval)
{
    if (interval_ == 0) throw std::invalid_argument("simple index interval must be above 0");
}

void SimpleIndexWriter::FillUntil(std::uint64_t time, bool inclusive, const SimpleIndexEntry& entry)
{
    // Entry n stands for time n * interval; add those before (or at) `time`.
    const std::uint64_t n = time / interval_;
    const std::uint64_t wanted = inclusive || time % interval_ != 0 ? n + 1 : n;
    if (wanted > std::numeric_limits<std::uint32_t>::max())
        throw std::out_of_range("simple index would need more than 2^32 entries");
    if (wanted > entries_.size()) {
        entries_.resize(static_cast<std::size_t>(wanted), entry);
        maximumPacketCount_ = std::max<std::uint32_t>(maximumPacketCount_, entry.packetCount);
    }
}

void SimpleIndexWriter::AddKeyframe(std::uint64_t presentationTime, std::uint64_t firstPacket,
                                    std::uint64_t lastPacket)
{
    if (finished_) throw std::logic_error("keyframe added to a finished simple index");
    if (lastPacket < firstPacket) throw std::out_of_range("keyframe ends in a packet before the one it begins in");
    if (firstPacket > std::numeric_limits<std::uint32_t>::max())
        throw std::out_of_range("packet " + std::to_string(firstPacket) + " is beyond what a simple index can hold");
    if (last_ && presentationTime <= last_->time) {
        ++skipped_;
        return;
    }
    SimpleIndexEntry entry;
    entry.packetNumber = static_cast<std::uint32_t>(firstPacket);
    entry.packetCount = static_cast<std::uint16_t>(std::min<std::uint64_t>(lastPacket - firstPacket + 1, 0xFFFF));
    // Times before this keyframe belong to the one before it, or to this one if it is the first.
    FillUntil(presentationTime, false, last_ ? last_->entry : entry);
    last_ = Keyframe{presentationTime, entry};
}

void SimpleIndexWriter::Resume(std::vector<SimpleIndexEntry> entries, std::uint64_t lastKeyframeTime)
{
    if (finished_ || last_) throw std::logic_error("simple index resumed after keyframes were added");
    entries_ = std::move(entries);
    for (const SimpleIndexEntry& e : entries_) maximumPacketCount_ = std::max<std::uint32_t>(maximumPacketCount_, e.packetCount);
    last_ = Keyframe{lastKeyframeTime, entries_.empty() ? SimpleIndexEntry{} : entries_.back()};
}

void SimpleIndexWriter::Finish(std::uint64_t endTime)
{
    if (finished_) throw std::logic_error("simple index finished twice");
    finished_ = true;
    if (last_) FillUntil(endTime, true, last_->entry);
}

std::vector<std::uint8_t> SimpleIndexWriter::Serialize(const Guid& fileId) const
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(SerializedSize()));
    ByteWriter w(bytes);
    w.GuidValue(guids::kSimpleIndex);
    w.U64(SerializedSize());
    w.GuidValue(fileId);
    w.U64(interval_);
    w.U32(maximumPacketCount_);
    w.U32(static_cast<std::uint32_t>(entries_.size()));
    for (const SimpleIndexEntry& e : entries_) {
        w.U32(e.packetNumber);
        w.U16(e.packetCount);
    }
    return bytes;
}

bool KeepHeaderExtensionObject(const Guid& objectType, const WrittenIndexes& written)
{
    if (objectType == guids::kIndexParameters) return written.index;
    if (objectType == guids::kMediaObjectIndexParameters) return written.mediaObjectIndex;
    if (objectType == guids::kTimecodeIndexParameters) return written.timecodeIndex;
    return true;
}

bool IsSeekable(std::size_t videoStreams, std::size_t indexedVideoStreams)
{
    return indexedVideoStreams >= videoStreams;
}

std::uint32_t FilePropertiesFlags(std::uint32_t sourceFlags, bool seekable)
{
    constexpr std::uint32_t kBroadcast = 0x1;
    constexpr std::uint32_t kSeekable = 0x2;
    std::uint32_t flags = sourceFlags & ~(kBroadcast | kSeekable);
    if (seekable) flags |= kSeekable;
    return flags;
}

}  // namespace kestrine::asf
