#pragma once
// Builds ASF data packets of one fixed size from a stream of payload pieces.
//
//   PacketLayout layout;
//   layout.packetSize = 3200;                 // the source's packet size
//   layout.errorCorrection = sourceEcc;       // e.g. {0x82, 0x00, 0x00}; empty for none
//   layout.sendTimeLead = prerollMs;          // send times run this far ahead of presentation
//   DataPacketWriter packets(layout, [&](const FinishedPacket& p) { out.Write(p.bytes); });
//   for (each media object, in send order) {
//       PacketPlacement where = packets.Add(piece);   // where.firstPacket feeds the index
//   }
//   packets.Finish();
//   packets.PacketCount(), packets.SendDuration() go into File Properties and the Data Object.
//
// Layout of every packet written:
//   error correction data (as given) | length type flags | property flags 0x5D |
//   [packet length WORD] | padding length WORD | send time DWORD | duration WORD |
//   single payload, or payload flags (count, WORD lengths) and up to 63 payloads | zero padding
// Each payload header holds the stream number with the key-frame bit, the media object number as a
// BYTE, the offset into the media object as a DWORD, and 8 bytes of replicated data (media object
// size, presentation time) followed by the piece's payload extension bytes.
//
// Pieces are packed in the order given: several per packet while they fit, a media object split
// across packets where it does not. A packet with a single payload uses the single-payload form.
//
// Send times: a packet's candidate is its earliest presentation time minus sendTimeLead (not below 0);
// its send time is the least candidate among it and the next `sendTimeLookahead` packets, and never
// less than the send time before it. So send times never decrease and never exceed the presentation
// times a packet carries, as long as presentation order runs back by no more than the look-ahead
// (B-frames, interleaved streams); beyond it, SendTimeConflicts() counts the packets affected.
// A packet's duration is the time to the next packet's send time; the last one's reaches its latest
// presentation time, or the media's end when Finish is told where that is. Packets are emitted in order once their send time is settled, so memory stays at
// about (lookahead + 2) packets however long the stream.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace kestrine::asf {

struct PayloadPiece {
    std::uint8_t streamNumber = 0;  // 1..127
    bool keyFrame = false;
    std::uint32_t mediaObjectNumber = 0;  // counted per stream by the caller; stored modulo 256
    std::uint32_t offsetIntoMediaObject = 0;
    std::uint32_t mediaObjectSize = 0;
    std::uint32_t presentationTime = 0;  // milliseconds, as in replicated data (preroll included)
    std::span<const std::uint8_t> replicatedExtension;  // payload extension data, after the 8 standard bytes
    std::span<const std::uint8_t> data;
};

struct PacketLayout {
    std::uint32_t packetSize = 0;  // every packet exactly this size, at most 65535
    // The error correction flags byte and its data, as the source's packets carry them; empty for none.
    std::vector<std::uint8_t> errorCorrection = {0x82, 0x00, 0x00};
    bool writePacketLength = false;     // also store the packet size in each packet's header
    std::uint32_t sendTimeLead = 0;     // milliseconds; normally the file's preroll
    std::size_t sendTimeLookahead = 32; // packets held back to settle send times
};

// Packet numbers, counted from 0, holding a piece's first and last byte.
struct PacketPlacement {
    std::uint64_t firstPacket = 0;
    std::uint64_t lastPacket = 0;
};

struct FinishedPacket {
    std::uint64_t number = 0;  // counted from 0
    std::uint64_t offset = 0;  // byte offset from the first packet: number * packetSize
    std::uint32_t sendTime = 0;
    std::uint16_t duration = 0;
    std::span<const std::uint8_t> bytes;  // exactly packetSize bytes, valid during the call
};

class DataPacketWriter {
public:
    using Sink = std::function<void(const FinishedPacket&)>;

    // Throws std::invalid_argument for a layout no payload fits in or malformed error correction bytes.
    DataPacketWriter(PacketLayout layout, Sink sink);

    // Places a piece. Throws std::invalid_argument for a piece that is inconsistent in itself (data past
    // the media object's size, stream number out of range, extension too long) or that does not continue
    // the stream's media object it claims to continue. Exceptions from the sink pass through.
    PacketPlacement Add(const PayloadPiece& piece);

    // Closes the last packet and emits all held back. `endTime` (presentation, ms) is where the media
    // end when that is later than the last presentation time (the last objects' own length): the
    // last packet's duration reaches it. Afterwards Add and Finish throw std::logic_error.
    void Finish(std::uint32_t endTime = 0);

    // Packets made elsewhere may go between the ones made here (a source's packets passed on as they
    // are). Drain closes the open packet and emits every packet held back; Idle says nothing is left.
    void Drain();
    bool Idle() const { return entries_.empty() && held_.empty(); }
    // Numbers a packet made elsewhere that the caller emits right after the ones emitted here (Idle
    // must hold). Its send time is raised, where needed, to the one before it.
    std::uint64_t AddExternal(std::uint32_t& sendTime, std::uint16_t duration);
    // Numbers `count` packets made elsewhere at once, the last of them sent at lastSendTime.
    void SkipExternal(std::uint64_t count, std::uint32_t lastSendTime);
    // A media object whose first `nextOffset` bytes went out elsewhere continues here.
    void ContinueObject(std::uint8_t stream, std::uint32_t number, std::uint32_t size, std::uint32_t nextOffset);

    // Packets begun so far: after Finish, the number of packets written.
    std::uint64_t PacketCount() const { return packetsBegun_; }
    // Last send time plus last duration, in milliseconds; final after Finish.
    std::uint64_t SendDuration() const { return sendDuration_; }
    // Packets whose send time had to exceed their earliest presentation time to stay non-decreasing.
    std::uint64_t SendTimeConflicts() const { return conflicts_; }

    // Bytes before the payloads: error correction data and payload parsing information.
    std::size_t PacketHeaderSize() const { return headerSize_; }

private:
    struct Entry {
        std::uint8_t streamByte;
        std::uint8_t objectNumber;
        std::uint32_t offset;
        std::uint32_t objectSize;
        std::uint32_t presentationTime;
        std::size_t extensionAt, extensionSize;  // into extensions_
        std::size_t dataAt, dataSize;            // into data_
    };
    struct Pending {
        std::vector<std::uint8_t> bytes;
        std::uint64_t number = 0;
        std::uint32_t candidate = 0;  // earliest presentation time minus the lead
        std::uint32_t earliest = 0;   // earliest presentation time carried
        std::uint32_t latest = 0;     // latest presentation time carried
    };
    struct StreamProgress {
        bool open = false;  // a media object started and not yet complete
        std::uint32_t objectNumber = 0;
        std::uint32_t objectSize = 0;
        std::uint32_t nextOffset = 0;
    };

    void CheckPiece(const PayloadPiece& piece) const;
    void AddEntry(const PayloadPiece& piece, std::size_t from, std::size_t size);
    void ClosePacket();
    void EmitFront(bool last, std::uint32_t endTime = 0);
    std::uint32_t WindowMinimum(std::size_t from) const;

    PacketLayout layout_;
    Sink sink_;
    std::size_t headerSize_ = 0;
    std::uint8_t lengthTypeFlags_ = 0;

    // The open packet.
    std::vector<Entry> entries_;
    std::vector<std::uint8_t> extensions_;
    std::vector<std::uint8_t> data_;
    std::size_t used_ = 0;  // bytes the open packet takes in the multiple-payload form

    std::deque<Pending> held_;
    std::vector<std::vector<std::uint8_t>> spareBuffers_;
    std::uint64_t packetsBegun_ = 0;
    std::uint64_t sendDuration_ = 0;
    std::uint64_t conflicts_ = 0;
    std::uint32_t lastSendTime_ = 0;
    bool finished_ = false;
    StreamProgress streams_[128];
};

}  // namespace kestrine::asf
