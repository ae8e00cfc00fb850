#include "asf/AsfFile.h"

#include <array>
#include <cstring>

#include "asf/ByteReader.h"
#include "asf/FormatError.h"
#include "asf/HeaderParser.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {

namespace {

constexpr std::size_t kObjectHeaderSize = 24;
constexpr std::size_t kDataObjectHeaderSize = 50;

// A friendlier reason than "not ASF" when the bytes are recognisably something else.
std::string NotAsfReason(std::span<const std::uint8_t> head)
{
    std::string what = "not an ASF file";
    auto starts = [&](std::size_t at, std::string_view magic) {
        return head.size() >= at + magic.size() && std::memcmp(head.data() + at, magic.data(), magic.size()) == 0;
    };
    if (starts(0, "\x1A\x45\xDF\xA3")) return what + " (it looks like WebM or Matroska)";
    if (starts(4, "ftyp") || starts(4, "moov") || starts(4, "mdat")) return what + " (it looks like MP4 or QuickTime)";
    if (starts(0, "RIFF")) return what + " (it looks like a RIFF file: AVI or WAV)";
    if (starts(0, "ID3") || (head.size() >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0))
        return what + " (it looks like MP3)";
    if (starts(0, "OggS")) return what + " (it looks like Ogg)";
    if (starts(0, "FLV")) return what + " (it looks like Flash video)";
    if (head.size() >= 1 && head[0] == 0x47) return what + " (it may be an MPEG transport stream)";
    if (starts(0, "\x00\x00\x01\xBA")) return what + " (it looks like MPEG program stream)";
    return what + " (no ASF Header Object at the start)";
}

bool IsIndexObjectId(const Guid& id)
{
    return id == guids::kSimpleIndex || id == guids::kIndex || id == guids::kMediaObjectIndex ||
           id == guids::kTimecodeIndex || id == guids::kIndexPlaceholder;
}

SimpleIndex ParseSimpleIndex(std::span<const std::uint8_t> bytes, std::uint64_t offset)
{
    ByteReader r(bytes, "Simple Index Object");
    r.Skip(kObjectHeaderSize);
    SimpleIndex s;
    s.objectOffset = offset;
    s.fileId = r.ReadGuid();
    s.entryTimeInterval = r.U64();
    s.maxPacketCount = r.U32();
    std::uint32_t count = r.U32();
    if (count > r.Remaining() / 6) r.Fail();
    s.entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        SimpleIndexEntry e;
        e.packetNumber = r.U32();
        e.packetCount = r.U16();
        s.entries.push_back(e);
    }
    return s;
}

IndexObject ParseIndex(std::span<const std::uint8_t> bytes, std::uint64_t offset)
{
    ByteReader r(bytes, "Index Object");
    r.Skip(kObjectHeaderSize);
    IndexObject idx;
    idx.objectOffset = offset;
    idx.entryTimeIntervalMs = r.U32();
    const std::uint16_t specifiers = r.U16();
    const std::uint32_t blocks = r.U32();
    for (std::uint16_t i = 0; i < specifiers; ++i) {
        IndexSpecifier s;
        s.streamNumber = r.U16();
        s.indexType = r.U16();
        idx.specifiers.push_back(s);
    }
    for (std::uint32_t b = 0; b < blocks; ++b) {
        IndexBlock block;
        block.entryCount = r.U32();
        for (std::uint16_t i = 0; i < specifiers; ++i) block.positions.push_back(r.U64());
        const std::uint64_t values = std::uint64_t{block.entryCount} * specifiers;
        if (values > r.Remaining() / 4) r.Fail();
        block.offsets.reserve(static_cast<std::size_t>(values));
        for (std::uint64_t i = 0; i < values; ++i) block.offsets.push_back(r.U32());
        idx.blocks.push_back(std::move(block));
    }
    return idx;
}

}  // namespace

AsfFile AsfFile::Open(const std::filesystem::path& path)
{
    AsfFile f(InputFile(path), path);
    const std::uint64_t fileSize = f.file_.Size();
    if (fileSize == 0) throw FormatError("the file is empty");

    std::array<std::uint8_t, 30> head{};
    std::size_t got = f.file_.ReadAt(0, head);
    auto headSpan = std::span<const std::uint8_t>(head.data(), got);
    if (got < 30) {
        if (got >= 16 && Guid::FromBytes(std::span<const std::uint8_t, 16>(head.data(), 16)) == guids::kHeader)
            throw FormatError("the file ends inside the Header Object");
        throw FormatError(NotAsfReason(headSpan));
    }
    ByteReader hr(headSpan, "Header Object");
    if (hr.ReadGuid() != guids::kHeader) throw FormatError(NotAsfReason(headSpan));
    const std::uint64_t headerSize = hr.U64();
    if (headerSize < 30) throw FormatError("the Header Object's size (" + std::to_string(headerSize) + ") is too small");
    if (headerSize > fileSize)
        throw FormatError("the Header Object claims " + std::to_string(headerSize) + " bytes, past the end of the " +
                          std::to_string(fileSize) + "-byte file");
    if (headerSize > kMaxHeaderSize)
        throw FormatError("the Header Object is implausibly large (" + std::to_string(headerSize) + " bytes)");

    std::vector<std::uint8_t> headerBytes(static_cast<std::size_t>(headerSize));
    f.file_.ReadExactlyAt(0, headerBytes, "the Header Object");
    ParsedHeader parsed = ParseHeaderObject(headerBytes, 0);
    f.header_ = std::move(parsed.header);
    f.warnings_ = std::move(parsed.warnings);
    f.objects_.push_back({guids::kHeader, 0, headerSize});

    const FileProperties& fp = f.header_.fileProperties;
    if (fp.minDataPacketSize == 0 || fp.maxDataPacketSize == 0)
        throw FormatError("the File Properties give a packet size of 0");
    if (fp.minDataPacketSize != fp.maxDataPacketSize)
        throw FormatError("the packet sizes are inconsistent (minimum " + std::to_string(fp.minDataPacketSize) +
                          ", maximum " + std::to_string(fp.maxDataPacketSize) + "); only fixed-size packets are valid");
    if (fp.maxDataPacketSize < 16 || fp.maxDataPacketSize > kMaxPacketSize)
        throw FormatError("the packet size " + std::to_string(fp.maxDataPacketSize) + " is implausible");

    // Walk the top-level objects after the header.
    bool haveData = false;
    std::uint64_t pos = headerSize;
    while (pos < fileSize) {
        std::array<std::uint8_t, kDataObjectHeaderSize> ob{};
        std::size_t n = f.file_.ReadAt(pos, ob);
        if (n < kObjectHeaderSize) {
            if (!haveData) throw FormatError("the file ends before its Data Object");
            // Too short to be an object: streaming writers end with a small end-of-stream marker
            // here, so this is not worth a warning.
            break;
        }
        ByteReader r(std::span<const std::uint8_t>(ob.data(), n), "object header");
        TopLevelObject obj;
        obj.id = r.ReadGuid();
        obj.size = r.U64();
        obj.offset = pos;

        if (obj.id == guids::kData && !haveData) {
            haveData = true;
            if (n < kDataObjectHeaderSize) throw FormatError("the file ends inside the Data Object's header");
            DataObjectInfo& d = f.data_;
            d.offset = pos;
            d.declaredSize = obj.size;
            d.fileId = r.ReadGuid();
            d.declaredPacketCount = r.U64();
            d.reserved = r.U16();
            d.packetsOffset = pos + kDataObjectHeaderSize;
            d.packetSize = fp.maxDataPacketSize;
            if (obj.size != 0 && obj.size < kDataObjectHeaderSize)
                throw FormatError("the Data Object's size (" + std::to_string(obj.size) + ") is inconsistent");
            // A broadcast file's sizes are not valid by definition; ffmpeg writing to a pipe, for one,
            // leaves the Data Object's size at its 50-byte header.
            d.sizeKnown = obj.size >= kDataObjectHeaderSize && !fp.Broadcast();
            const bool fits = d.sizeKnown && obj.size <= fileSize - pos;
            const std::uint64_t end = fits ? pos + obj.size : fileSize;
            const std::uint64_t available = end > d.packetsOffset ? end - d.packetsOffset : 0;
            d.packetCount = available / d.packetSize;
            d.trailingBytes = available % d.packetSize;

            if (!fits) {
                // The extent is not known (size 0) or not believable (past the end of the file): the
                // packets run until an index object or the end of the file. The index may be smaller
                // than a packet, so the place after the last whole packet is looked at too.
                bool indexFollows = false;
                for (std::uint64_t i = 0; i <= d.packetCount; ++i) {
                    std::array<std::uint8_t, 16> id{};
                    if (f.file_.ReadAt(d.PacketOffset(i), id) < 16) break;
                    if (IsIndexObjectId(Guid::FromBytes(id))) {
                        d.packetCount = i;
                        d.trailingBytes = 0;
                        indexFollows = true;
                        break;
                    }
                }
                if (d.sizeKnown && indexFollows)
                    f.warnings_.push_back("the Data Object's size (" + std::to_string(obj.size) +
                                          ") runs past its packets, which end where an index begins");
                else if (d.sizeKnown || d.trailingBytes)
                    d.truncated = true;
                if (!d.sizeKnown && !fp.Broadcast() && d.declaredPacketCount > d.packetCount) d.truncated = true;
            } else {
                if (!fp.Broadcast() && d.declaredPacketCount > d.packetCount)
                    f.warnings_.push_back("the Data Object announces " + std::to_string(d.declaredPacketCount) +
                                          " packets but holds " + std::to_string(d.packetCount));
                if (d.trailingBytes)
                    f.warnings_.push_back("the Data Object ends with " + std::to_string(d.trailingBytes) +
                                          " bytes that are not a whole packet");
            }
            obj.size = fits ? obj.size : d.End() - pos;
            f.objects_.push_back(obj);
            pos = fits ? pos + obj.size : d.End();
            if (d.truncated) break;
            continue;
        }

        if (obj.size < kObjectHeaderSize || obj.size > fileSize - pos) {
            if (!haveData) throw FormatError("an object before the Data Object runs past the end of the file");
            f.warnings_.push_back("the object " + obj.id.ToString() + " at offset " + std::to_string(pos) +
                                  " runs past the end of the file");
            break;
        }
        f.objects_.push_back(obj);
        if (obj.id == guids::kSimpleIndex) {
            try {
                f.simpleIndexes_.push_back(ParseSimpleIndex(f.ReadObject(obj), pos));
            } catch (const FormatError& e) {
                f.warnings_.push_back(e.what());
            }
        } else if (obj.id == guids::kIndex) {
            try {
                f.indexes_.push_back(ParseIndex(f.ReadObject(obj), pos));
            } catch (const FormatError& e) {
                f.warnings_.push_back(e.what());
            }
        }
        pos += obj.size;
    }
    if (!haveData) throw FormatError("the file has no Data Object");
    return f;
}

std::vector<std::uint8_t> AsfFile::ReadObject(const TopLevelObject& object, std::uint64_t limit) const
{
    if (object.size > limit)
        throw FormatError("the object " + object.id.ToString() + " is too large to read (" +
                          std::to_string(object.size) + " bytes)");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(object.size));
    file_.ReadExactlyAt(object.offset, bytes, "a top-level object");
    return bytes;
}

}  // namespace kestrine::asf
