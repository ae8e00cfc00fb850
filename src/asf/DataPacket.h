#pragma once
// One ASF data packet, parsed. Payload bytes are not copied: they are offsets into the packet
// the parser was given, so parsing costs no allocation beyond the payload list.
//
//   ParsedPacket p = ParseDataPacket(bytes, header.fileProperties.maxDataPacketSize);
//   for (const Payload& pl : p.payloads) {
//       std::span<const std::uint8_t> data = pl.Data(bytes);
//       ...
//   }
//
// A compressed payload (replicated data length 1) is expanded into one Payload per sub-payload,
// each a whole media object (offset 0, objectSize = its length, compressed = true) with the
// presentation time of the group plus its index times the delta; media object numbers count up
// from the group's number. Throws FormatError when any length runs past the packet.
#include <cstdint>
#include <span>
#include <vector>

namespace kestrine::asf {

struct Payload {
    std::uint8_t streamNumber = 0;  // 1..127
    bool keyFrame = false;
    std::uint32_t mediaObjectNumber = 0;
    std::uint32_t offsetIntoMediaObject = 0;
    std::uint32_t mediaObjectSize = 0;       // from the replicated data; 0 when it has none
    std::uint32_t presentationTimeMs = 0;    // from the replicated data (preroll included)
    bool hasPresentationTime = false;
    bool compressed = false;                 // came from a compressed payload
    std::uint8_t presentationTimeDelta = 0;  // compressed payloads only
    std::uint32_t replicatedDataOffset = 0;  // into the packet
    std::uint32_t replicatedDataLength = 0;  // the full replicated data, payload extensions included
    std::uint32_t dataOffset = 0;            // into the packet
    std::uint32_t dataLength = 0;

    std::span<const std::uint8_t> Data(std::span<const std::uint8_t> packet) const
    {
        return packet.subspan(dataOffset, dataLength);
    }
    std::span<const std::uint8_t> ReplicatedData(std::span<const std::uint8_t> packet) const
    {
        return packet.subspan(replicatedDataOffset, replicatedDataLength);
    }
};

struct ParsedPacket {
    bool hasErrorCorrection = false;
    std::uint8_t errorCorrectionFlags = 0;           // the raw byte when present
    std::uint32_t errorCorrectionDataOffset = 0;     // into the packet
    std::uint32_t errorCorrectionDataLength = 0;
    std::uint8_t lengthTypeFlags = 0;
    std::uint8_t propertyFlags = 0;
    bool multiplePayloads = false;
    std::uint8_t payloadLengthType = 0;  // multiple payloads only
    std::uint32_t packetLength = 0;      // explicit, or implied by the packet size
    bool explicitPacketLength = false;
    std::uint32_t sequence = 0;
    std::uint32_t paddingLength = 0;     // including the space an explicit short length leaves
    std::uint32_t sendTimeMs = 0;
    std::uint16_t durationMs = 0;
    std::uint32_t payloadParsingEnd = 0;  // offset where the first payload header begins
    std::vector<Payload> payloads;
};

// Parses `packet`, which must be exactly one packet of the file's fixed packet size.
ParsedPacket ParseDataPacket(std::span<const std::uint8_t> packet);

// Parses into `out`, reusing its payload storage (the hot path of a sequential scan).
void ParseDataPacket(std::span<const std::uint8_t> packet, ParsedPacket& out);

}  // namespace kestrine::asf
