#include "asf/ResumePoint.h"

#include <algorithm>
#include <map>

#include "asf/DataPacket.h"
#include "asf/FormatError.h"
#include "asf/PacketReader.h"
#include "asf/SimpleIndexWriter.h"

namespace kestrine::asf {

namespace {

constexpr std::uint64_t kLastEntriesSkipped = 3;  // resume about this many seconds before the end
constexpr std::uint32_t kMaxEndAfterLastStartMs = 10'000;

struct Seen {
    ResumePoint::Stream stream;
    bool objectOpen = false;
    std::uint32_t number = 0;  // of the object in progress or last begun
    std::uint32_t size = 0;
    std::uint32_t received = 0;
    std::uint32_t objects = 0;
    std::optional<std::uint32_t> latestMs;
    bool advancedAfterFirst = false;  // a later object raised the stream's latest time
    bool timedByNext = false;         // its objects last until the next one (not audio or commands)
};

}  // namespace

std::optional<ResumePoint> FindResumePoint(const AsfFile& file, std::uint8_t videoStream)
{
    const DataObjectInfo& data = file.Data();
    const FileProperties& fp = file.Header().fileProperties;
    if (fp.Broadcast() || data.truncated || !data.sizeKnown || data.trailingBytes != 0 || data.packetCount == 0 ||
        data.declaredPacketCount != data.packetCount || file.SimpleIndexes().size() != 1)
        return std::nullopt;
    const SimpleIndex& index = file.SimpleIndexes().front();
    if (index.fileId != data.fileId || index.entryTimeInterval != SimpleIndexWriter::kOneSecond ||
        index.entries.size() <= kLastEntriesSkipped)
        return std::nullopt;
    const SimpleIndexEntry& target = index.entries[index.entries.size() - 1 - kLastEntriesSkipped];
    ResumePoint point;
    point.packet = target.packetNumber;
    if (point.packet == 0 || point.packet >= data.packetCount) return std::nullopt;

    std::map<std::uint8_t, Seen> seen;
    for (const StreamProperties& s : file.Header().streams) {
        if (s.number < 1 || s.number > 127 || seen.count(static_cast<std::uint8_t>(s.number))) return std::nullopt;
        Seen& entry = seen[static_cast<std::uint8_t>(s.number)];
        entry.stream.number = static_cast<std::uint8_t>(s.number);
        entry.timedByNext = s.kind != StreamKind::Audio && s.kind != StreamKind::Command;
    }
    if (!seen.count(videoStream)) return std::nullopt;

    try {
        // Numbering as written here begins at 0 in every stream.
        {
            PacketReader first(file, 0, data.packetSize);
            PacketView packet;
            if (!first.Next(packet)) return std::nullopt;
            std::map<std::uint8_t, bool> begun;
            for (const Payload& pl : ParseDataPacket(packet.bytes).payloads) {
                if (begun[pl.streamNumber]) continue;
                begun[pl.streamNumber] = true;
                if (pl.compressed || pl.offsetIntoMediaObject != 0 || pl.mediaObjectNumber != 0) return std::nullopt;
            }
        }

        PacketReader reader(file, point.packet - 1, 1u << 20);
        PacketView packet;
        ParsedPacket parsed;
        bool keyFrameFound = false;
        bool keyFrameOpen = false;
        std::uint64_t keyFrameLast = 0;
        std::optional<std::uint32_t> latestStartMs;
        while (reader.Next(packet)) {
            ParseDataPacket(packet.bytes, parsed);
            if (packet.bytes.size() != data.packetSize) return std::nullopt;
            if (packet.index + 1 == point.packet) {
                point.sendTimeBefore = parsed.sendTimeMs;
                continue;
            }
            for (const Payload& pl : parsed.payloads) {
                auto it = seen.find(pl.streamNumber);
                if (it == seen.end() || pl.compressed || pl.replicatedDataLength < 8) return std::nullopt;
                Seen& s = it->second;
                if (pl.offsetIntoMediaObject == 0) {
                    if (s.objectOpen || pl.mediaObjectSize < pl.dataLength) return std::nullopt;
                    if (s.objects > 0 || s.stream.open) {
                        if (pl.mediaObjectNumber != ((s.number + 1) & 0xFFu)) return std::nullopt;
                    } else {
                        s.stream.nextNumber = pl.mediaObjectNumber;
                    }
                    s.number = pl.mediaObjectNumber;
                    s.size = pl.mediaObjectSize;
                    s.received = pl.dataLength;
                    s.objectOpen = s.received < s.size;
                    if (s.latestMs && pl.presentationTimeMs > *s.latestMs) s.advancedAfterFirst = true;
                    s.latestMs = std::max(s.latestMs.value_or(pl.presentationTimeMs), pl.presentationTimeMs);
                    latestStartMs = std::max(latestStartMs.value_or(pl.presentationTimeMs), pl.presentationTimeMs);
                    ++s.objects;
                    if (pl.streamNumber == videoStream && pl.keyFrame && packet.index == point.packet && !keyFrameFound) {
                        keyFrameFound = true;
                        point.keyFrameTime = std::uint64_t{pl.presentationTimeMs} * 10000;
                        keyFrameLast = packet.index;
                        keyFrameOpen = s.objectOpen;
                    } else if (pl.streamNumber == videoStream) {
                        keyFrameOpen = false;
                    }
                } else if (s.objects == 0 && !s.stream.open) {
                    // An object begun before the place reading resumes: carried on from there.
                    if (pl.streamNumber == videoStream && pl.keyFrame) return std::nullopt;
                    if (pl.offsetIntoMediaObject > pl.mediaObjectSize ||
                        pl.dataLength > pl.mediaObjectSize - pl.offsetIntoMediaObject)
                        return std::nullopt;
                    ResumePoint::OpenObject open;
                    open.number = pl.mediaObjectNumber;
                    open.size = pl.mediaObjectSize;
                    open.received = pl.offsetIntoMediaObject;
                    open.presentationMs = pl.presentationTimeMs;
                    open.keyFrame = pl.keyFrame;
                    s.stream.open = open;
                    s.stream.nextNumber = (pl.mediaObjectNumber + 1) & 0xFFu;
                    s.number = pl.mediaObjectNumber;
                    s.size = pl.mediaObjectSize;
                    s.received = pl.offsetIntoMediaObject + pl.dataLength;
                    s.objectOpen = s.received < s.size;
                    s.latestMs = pl.presentationTimeMs;
                    latestStartMs = std::max(latestStartMs.value_or(pl.presentationTimeMs), pl.presentationTimeMs);
                } else {
                    if (!s.objectOpen || pl.mediaObjectNumber != s.number || pl.mediaObjectSize != s.size ||
                        pl.offsetIntoMediaObject != s.received || pl.dataLength > s.size - s.received)
                        return std::nullopt;
                    s.received += pl.dataLength;
                    s.objectOpen = s.received < s.size;
                    if (keyFrameOpen && pl.streamNumber == videoStream) {
                        keyFrameLast = packet.index;
                        keyFrameOpen = s.objectOpen;
                    }
                }
            }
        }
        if (!keyFrameFound || !latestStartMs) return std::nullopt;
        // Every stream must show where its numbering stands, and how long its last object lasts
        // where that is the time to the next one.
        for (const auto& [number, s] : seen)
            if (s.objectOpen || (s.objects == 0 && !s.stream.open) || (s.timedByNext && !s.advancedAfterFirst))
                return std::nullopt;
        // The keyframe must be the one the index names, spanning what the index says it spans.
        const std::uint64_t span = std::min<std::uint64_t>(keyFrameLast - point.packet + 1, 0xFFFF);
        if (span != target.packetCount) return std::nullopt;
        // The header's play duration must settle where the media end, as for any file read whole.
        const std::uint64_t endMs = fp.playDuration / 10000;
        if (endMs < *latestStartMs || endMs - *latestStartMs > kMaxEndAfterLastStartMs) return std::nullopt;
    } catch (const FormatError&) {
        return std::nullopt;
    }

    const std::uint64_t interval = index.entryTimeInterval;
    const std::uint64_t before = (point.keyFrameTime + interval - 1) / interval;  // entries for times before it
    if (point.keyFrameTime == 0 || before > index.entries.size()) return std::nullopt;
    point.indexEntries.assign(index.entries.begin(), index.entries.begin() + static_cast<std::ptrdiff_t>(before));
    for (const auto& [number, s] : seen) point.streams.push_back(s.stream);
    return point;
}

}  // namespace kestrine::asf
