#pragma once
// Reassembly of payload fragments into whole media objects, per stream, in order.
//
//   MediaObjectReader objects(file);            // walks every packet once, constant memory
//   MediaObject obj;
//   while (objects.Next(obj)) { obj.streamNumber, obj.presentationTimeMs, obj.keyFrame, obj.data ... }
//   objects.Warnings();                          // damaged packets skipped, fragments dropped
//
// Or, for a caller that walks packets itself: MediaObjectAssembler::Add(packet, parsed, out).
// An object is delivered once all its bytes have arrived. A fragment that does not continue the
// object in progress (lost packet, damaged file) drops that object; the next object starts clean.
// Where the file ends inside a packet, the objects that packet holds whole before the cut are read.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "asf/AsfFile.h"
#include "asf/DataPacket.h"
#include "asf/PacketReader.h"

namespace kestrine::asf {

struct MediaObject {
    std::uint8_t streamNumber = 0;
    std::uint32_t objectNumber = 0;       // as stored (8 bits wide in most files, so it wraps)
    std::uint32_t presentationTimeMs = 0; // preroll included; see AsfFile::TimelineMs
    bool keyFrame = false;
    bool compressed = false;              // came from a compressed payload
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> replicatedData;  // of the first fragment (size, time, payload extensions)
    std::uint64_t firstPacketIndex = 0;   // packet holding the object's first byte
    std::uint64_t firstPacketOffset = 0;  // that packet's file offset
    std::uint32_t firstPacketSendTimeMs = 0;
};

class MediaObjectAssembler {
public:
    // Objects larger than this are dropped rather than buffered (no real frame comes near it).
    static constexpr std::uint32_t kMaxObjectSize = 64u << 20;

    // Feeds one packet; objects completed by it are appended to `out`.
    void Add(const PacketView& packet, const ParsedPacket& parsed, std::vector<MediaObject>& out);
    // Forgets partial objects (after a seek or a damaged packet).
    void Reset() { pending_.clear(); }
    std::uint64_t DroppedObjects() const { return dropped_; }

private:
    struct Pending {
        MediaObject object;
        std::uint32_t size = 0;
    };
    std::map<std::uint8_t, Pending> pending_;
    std::uint64_t dropped_ = 0;
};

class MediaObjectReader {
public:
    explicit MediaObjectReader(const AsfFile& file, std::uint64_t firstPacket = 0);

    bool Next(MediaObject& out);
    std::uint64_t DamagedPackets() const { return damaged_; }
    std::uint64_t DroppedObjects() const { return assembler_.DroppedObjects(); }
    std::vector<std::string> Warnings() const;

private:
    bool SalvageCutOffPacket();

    const AsfFile& file_;
    bool salvaged_ = false;
    PacketReader packets_;
    ParsedPacket parsed_;
    MediaObjectAssembler assembler_;
    std::vector<MediaObject> ready_;
    std::size_t readyPos_ = 0;
    std::uint64_t damaged_ = 0;
    std::string firstDamage_;
};

}  // namespace kestrine::asf
