#pragma once
// An opened ASF file: its parsed header, where its Data Object and packets are, and its indexes.
// Opening reads only the Header Object and the small objects around the data; the packets are
// read later, sequentially, by PacketReader (PacketReader.h).
//
//   AsfFile file = AsfFile::Open(path);             // throws FormatError with a one-line reason
//   file.Header().fileProperties.prerollMs
//   file.Data().packetSize, file.Data().packetCount, file.Data().PacketOffset(i)
//   file.SimpleIndexes()                             // parsed Simple Index Objects, if any
//   file.Warnings()                                  // non-fatal problems met while opening
//
// Files whose broadcast flag is set, whose Data Object size is 0 or whose counts are missing are
// measured from the file itself: the packets are counted up to the end of the file (or up to a
// top-level index object that follows them).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "asf/Guid.h"
#include "asf/HeaderObjects.h"
#include "asf/InputFile.h"

namespace kestrine::asf {

struct DataObjectInfo {
    std::uint64_t offset = 0;          // of the Data Object itself
    std::uint64_t declaredSize = 0;    // as stored; 0 when the writer did not know it
    Guid fileId;
    std::uint64_t declaredPacketCount = 0;  // Total Data Packets as stored
    std::uint16_t reserved = 0x0101;
    std::uint64_t packetsOffset = 0;   // first packet: offset + 50
    std::uint32_t packetSize = 0;
    std::uint64_t packetCount = 0;     // complete packets present in the file
    bool sizeKnown = false;            // declaredSize was usable
    bool truncated = false;            // the file ends before the Data Object does
    std::uint64_t trailingBytes = 0;   // bytes of an incomplete last packet

    std::uint64_t PacketOffset(std::uint64_t index) const { return packetsOffset + index * packetSize; }
    std::uint64_t End() const { return packetsOffset + packetCount * packetSize; }
};

struct TopLevelObject {
    Guid id;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct SimpleIndexEntry {
    std::uint32_t packetNumber = 0;
    std::uint16_t packetCount = 0;
};

struct SimpleIndex {
    Guid fileId;
    std::uint64_t entryTimeInterval = 0;  // 100 ns
    std::uint32_t maxPacketCount = 0;
    std::vector<SimpleIndexEntry> entries;
    std::uint64_t objectOffset = 0;
};

// The Index Object: per specifier (stream and index type), byte offsets into the Data Object's
// packets at a fixed time interval, grouped in blocks.
struct IndexBlock {
    std::vector<std::uint64_t> positions;  // one per specifier: base offset of the block
    std::vector<std::uint32_t> offsets;    // entryCount rows of one offset per specifier
    std::uint32_t entryCount = 0;
};

struct IndexObject {
    std::uint32_t entryTimeIntervalMs = 0;
    std::vector<IndexSpecifier> specifiers;
    std::vector<IndexBlock> blocks;
    std::uint64_t objectOffset = 0;
};

class AsfFile {
public:
    static AsfFile Open(const std::filesystem::path& path);

    const asf::Header& Header() const { return header_; }
    const DataObjectInfo& Data() const { return data_; }
    const std::vector<TopLevelObject>& Objects() const { return objects_; }  // every top-level object, in order
    const std::vector<SimpleIndex>& SimpleIndexes() const { return simpleIndexes_; }
    const std::vector<IndexObject>& Indexes() const { return indexes_; }
    const std::vector<std::string>& Warnings() const { return warnings_; }
    const InputFile& File() const { return file_; }
    std::uint64_t FileSize() const { return file_.Size(); }
    const std::filesystem::path& Path() const { return path_; }

    // The bytes of a top-level object other than the Data Object (for carrying it over). Throws
    // FormatError when it is larger than `limit`.
    std::vector<std::uint8_t> ReadObject(const TopLevelObject& object, std::uint64_t limit = 64u << 20) const;

    // The editor's timeline: presentation time minus preroll, in milliseconds.
    std::int64_t TimelineMs(std::uint32_t presentationTimeMs) const
    {
        return static_cast<std::int64_t>(presentationTimeMs) - static_cast<std::int64_t>(header_.fileProperties.prerollMs);
    }

private:
    AsfFile(InputFile file, std::filesystem::path path) : file_(std::move(file)), path_(std::move(path)) {}

    InputFile file_;
    std::filesystem::path path_;
    asf::Header header_;
    DataObjectInfo data_;
    std::vector<TopLevelObject> objects_;
    std::vector<SimpleIndex> simpleIndexes_;
    std::vector<IndexObject> indexes_;
    std::vector<std::string> warnings_;
};

// Largest packet size accepted; real files use a few kilobytes.
inline constexpr std::uint32_t kMaxPacketSize = 1u << 20;
// Largest Header Object accepted (headers hold metadata, sometimes cover art, never media).
inline constexpr std::uint64_t kMaxHeaderSize = 64u << 20;

}  // namespace kestrine::asf
