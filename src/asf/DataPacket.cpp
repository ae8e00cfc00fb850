#include "asf/DataPacket.h"

#include <string>

#include "asf/ByteReader.h"
#include "asf/FormatError.h"

namespace kestrine::asf {

namespace {

std::uint32_t ToU32(std::size_t v) { return static_cast<std::uint32_t>(v); }

// Reads one payload header and its data (or, for a compressed payload, all its sub-payloads).
// `dataEnd` is where payload data must stop (before the packet's padding).
void ReadPayload(ByteReader& r, const ParsedPacket& p, std::size_t dataEnd, std::vector<Payload>& out)
{
    const unsigned replicatedType = p.propertyFlags & 0x3u;
    const unsigned offsetType = (p.propertyFlags >> 2) & 0x3u;
    const unsigned objectNumberType = (p.propertyFlags >> 4) & 0x3u;

    Payload pl;
    std::uint8_t streamByte = r.U8();
    pl.streamNumber = streamByte & 0x7F;
    pl.keyFrame = (streamByte & 0x80) != 0;
    pl.mediaObjectNumber = r.ReadByLengthType(objectNumberType);
    pl.offsetIntoMediaObject = r.ReadByLengthType(offsetType);
    pl.replicatedDataLength = r.ReadByLengthType(replicatedType);
    pl.replicatedDataOffset = ToU32(r.Position());
    auto replicated = r.Bytes(pl.replicatedDataLength);

    std::size_t length;
    if (p.multiplePayloads) {
        length = r.ReadByLengthType(p.payloadLengthType);
        if (length > dataEnd - std::min(dataEnd, r.Position()))
            throw FormatError("a payload's length runs past the end of its data packet");
    } else {
        if (r.Position() > dataEnd) throw FormatError("a data packet's padding overlaps its payload header");
        length = dataEnd - r.Position();
    }

    if (pl.replicatedDataLength == 1) {
        // Compressed payload: the offset field carries the presentation time, and the data is a run
        // of (length byte, media object) pairs.
        pl.compressed = true;
        pl.presentationTimeDelta = replicated[0];
        const std::uint32_t baseTime = pl.offsetIntoMediaObject;
        ByteReader sub(r.Bytes(length), "compressed payload");
        const std::size_t base = r.Position() - length;
        std::uint32_t index = 0;
        while (!sub.AtEnd()) {
            std::uint8_t subLength = sub.U8();
            Payload s = pl;
            s.mediaObjectNumber = pl.mediaObjectNumber + index;
            s.offsetIntoMediaObject = 0;
            s.presentationTimeMs = baseTime + index * pl.presentationTimeDelta;
            s.hasPresentationTime = true;
            s.dataOffset = ToU32(base + sub.Position());
            s.dataLength = subLength;
            s.mediaObjectSize = subLength;
            sub.Skip(subLength);
            out.push_back(s);
            ++index;
        }
        return;
    }
    if (pl.replicatedDataLength >= 8) {
        ByteReader rep(replicated, "replicated data");
        pl.mediaObjectSize = rep.U32();
        pl.presentationTimeMs = rep.U32();
        pl.hasPresentationTime = true;
    }
    pl.dataOffset = ToU32(r.Position());
    pl.dataLength = ToU32(length);
    r.Skip(length);
    out.push_back(pl);
}

}  // namespace

void ParseDataPacket(std::span<const std::uint8_t> packet, ParsedPacket& p)
{
    std::vector<Payload> storage = std::move(p.payloads);
    storage.clear();
    p = ParsedPacket{};
    p.payloads = std::move(storage);

    ByteReader r(packet, "data packet");
    std::uint8_t first = r.U8();
    if (first & 0x80) {
        p.hasErrorCorrection = true;
        p.errorCorrectionFlags = first;
        if (first & 0x60) throw FormatError("a data packet uses an unknown error correction length type");
        if (first & 0x10) throw FormatError("a data packet carries opaque error correction data");
        p.errorCorrectionDataLength = first & 0x0Fu;
        p.errorCorrectionDataOffset = ToU32(r.Position());
        r.Skip(p.errorCorrectionDataLength);
        p.lengthTypeFlags = r.U8();
    } else {
        p.lengthTypeFlags = first;
    }
    if (p.lengthTypeFlags & 0x80)
        throw FormatError("a data packet's length type flags are malformed (error correction bit set twice)");
    p.multiplePayloads = (p.lengthTypeFlags & 0x01) != 0;
    const unsigned sequenceType = (p.lengthTypeFlags >> 1) & 0x3u;
    const unsigned paddingType = (p.lengthTypeFlags >> 3) & 0x3u;
    const unsigned packetLengthType = (p.lengthTypeFlags >> 5) & 0x3u;
    p.propertyFlags = r.U8();
    if (((p.propertyFlags >> 6) & 0x3u) != 1)
        throw FormatError("a data packet gives its stream numbers in an unsupported width");

    const std::size_t size = packet.size();
    p.explicitPacketLength = packetLengthType != 0;
    p.packetLength = p.explicitPacketLength ? r.ReadByLengthType(packetLengthType) : ToU32(size);
    p.sequence = r.ReadByLengthType(sequenceType);
    p.paddingLength = r.ReadByLengthType(paddingType);
    p.sendTimeMs = r.U32();
    p.durationMs = r.U16();

    if (p.packetLength > size)
        throw FormatError("a data packet claims " + std::to_string(p.packetLength) + " bytes in a packet of " +
                          std::to_string(size));
    if (p.packetLength == 0) p.packetLength = ToU32(size);
    // A short explicit length leaves the rest of the fixed-size packet as padding.
    const std::size_t used = p.packetLength;
    if (p.paddingLength > used || used - p.paddingLength < r.Position())
        throw FormatError("a data packet's padding length is larger than the packet");
    const std::size_t dataEnd = used - p.paddingLength;
    p.paddingLength = ToU32(size - dataEnd);

    if (p.multiplePayloads) {
        std::uint8_t payloadFlags = r.U8();
        p.payloadLengthType = static_cast<std::uint8_t>((payloadFlags >> 6) & 0x3u);
        if (p.payloadLengthType == 0) throw FormatError("a data packet with several payloads gives no payload lengths");
        const unsigned count = payloadFlags & 0x3Fu;
        p.payloadParsingEnd = ToU32(r.Position());
        for (unsigned i = 0; i < count; ++i) ReadPayload(r, p, dataEnd, p.payloads);
    } else {
        p.payloadParsingEnd = ToU32(r.Position());
        ReadPayload(r, p, dataEnd, p.payloads);
    }
}

ParsedPacket ParseDataPacket(std::span<const std::uint8_t> packet)
{
    ParsedPacket p;
    ParseDataPacket(packet, p);
    return p;
}

}  // namespace kestrine::asf
