#include "asf/DataPacketWriter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include "asf/ByteWriter.h"

namespace kestrine::asf {

namespace {

// Replicated data BYTE-sized, offset into media object DWORD, media object number BYTE, stream number BYTE.
constexpr std::uint8_t kPropertyFlags = 0x5D;
constexpr std::uint8_t kMultiplePayloads = 0x01;
constexpr std::uint8_t kPaddingLengthWord = 0x10;
constexpr std::uint8_t kPacketLengthWord = 0x40;
constexpr std::uint8_t kPayloadLengthWord = 0x80;
constexpr std::size_t kMaxPayloadsPerPacket = 63;
constexpr std::size_t kReplicatedDataSize = 8;  // media object size and presentation time
// Stream, object number, offset, replicated data length and replicated data; multiple payloads add a length.
constexpr std::size_t kSinglePayloadHeader = 1 + 1 + 4 + 1 + kReplicatedDataSize;
constexpr std::size_t kMultiplePayloadHeader = kSinglePayloadHeader + 2;
// Splitting an object to fill a packet's last few bytes costs a payload header for almost nothing.
constexpr std::size_t kMinFragment = 16;

std::string StreamText(const PayloadPiece& piece) { return "stream " + std::to_string(piece.streamNumber); }

}  // namespace

DataPacketWriter::DataPacketWriter(PacketLayout layout, Sink sink) : layout_(std::move(layout)), sink_(std::move(sink))
{
    const auto& ecc = layout_.errorCorrection;
    if (!ecc.empty()) {
        const std::uint8_t flags = ecc[0];
        // Present bit set, length type 00 and a data length that matches what follows.
        if ((flags & 0x80) == 0 || (flags & 0x60) != 0 || (flags & 0x0F) + 1u != ecc.size())
            throw std::invalid_argument("malformed error correction bytes for data packets");
    }
    if (!sink_) throw std::invalid_argument("data packet writer needs a sink");
    headerSize_ = ecc.size() + 1 + 1 + (layout_.writePacketLength ? 2 : 0) + 2 + 4 + 2;
    lengthTypeFlags_ = static_cast<std::uint8_t>(kPaddingLengthWord | (layout_.writePacketLength ? kPacketLengthWord : 0));
    if (layout_.packetSize > 0xFFFF)
        throw std::invalid_argument("packet size " + std::to_string(layout_.packetSize) + " is above 65535");
    if (layout_.packetSize < headerSize_ + 1 + kMultiplePayloadHeader + 1)
        throw std::invalid_argument("packet size " + std::to_string(layout_.packetSize) + " leaves no room for payloads");
    data_.reserve(layout_.packetSize);
}

void DataPacketWriter::CheckPiece(const PayloadPiece& piece) const
{
    if (piece.streamNumber < 1 || piece.streamNumber > 127)
        throw std::invalid_argument("stream number " + std::to_string(piece.streamNumber) + " is outside 1..127");
    if (piece.offsetIntoMediaObject > piece.mediaObjectSize ||
        piece.data.size() > piece.mediaObjectSize - piece.offsetIntoMediaObject)
        throw std::invalid_argument(StreamText(piece) + ": piece runs past its media object's size");
    if (piece.data.empty() && piece.mediaObjectSize != 0)
        throw std::invalid_argument(StreamText(piece) + ": empty piece of a non-empty media object");
    if (piece.replicatedExtension.size() > 255 - kReplicatedDataSize)
        throw std::invalid_argument(StreamText(piece) + ": payload extension data longer than 247 bytes");
    if (headerSize_ + kSinglePayloadHeader + piece.replicatedExtension.size() + 1 > layout_.packetSize)
        throw std::invalid_argument(StreamText(piece) + ": payload extension data leaves no room in a packet");
    if (piece.offsetIntoMediaObject != 0) {
        const StreamProgress& s = streams_[piece.streamNumber];
        if (!s.open || s.objectNumber != piece.mediaObjectNumber || s.objectSize != piece.mediaObjectSize ||
            s.nextOffset != piece.offsetIntoMediaObject)
            throw std::invalid_argument(StreamText(piece) + ": piece at offset " +
                                        std::to_string(piece.offsetIntoMediaObject) + " of media object " +
                                        std::to_string(piece.mediaObjectNumber) +
                                        " does not continue what was written before");
    }
}

PacketPlacement DataPacketWriter::Add(const PayloadPiece& piece)
{
    if (finished_) throw std::logic_error("data packet writer used after Finish");
    CheckPiece(piece);

    const std::size_t packetSize = layout_.packetSize;
    const std::size_t extension = piece.replicatedExtension.size();
    const std::size_t total = piece.data.size();
    PacketPlacement placement;
    std::size_t done = 0;
    bool placedAny = false;
    while (!placedAny || done < total) {
        const std::size_t remaining = total - done;
        std::size_t take = 0;
        bool closeAfter = false;
        if (entries_.empty()) {
            const std::size_t singleRoom = packetSize - headerSize_ - kSinglePayloadHeader - extension;
            const std::size_t multipleCost = headerSize_ + 1 + kMultiplePayloadHeader + extension;
            if (remaining >= singleRoom) {
                take = singleRoom;  // fills the packet alone
                closeAfter = true;
            } else {
                take = remaining;
                // Too big to leave room for another payload header: send it alone, padded.
                closeAfter = multipleCost + remaining > packetSize;
            }
        } else {
            const std::size_t cost = used_ + kMultiplePayloadHeader + extension;
            const std::size_t room = cost < packetSize ? packetSize - cost : 0;
            const bool fits = cost <= packetSize && remaining <= room;
            if (entries_.size() == kMaxPayloadsPerPacket || (!fits && room < kMinFragment)) {
                ClosePacket();
                continue;
            }
            take = std::min(remaining, room);
            closeAfter = take < remaining;
        }
        if (entries_.empty()) ++packetsBegun_;
        const std::uint64_t number = packetsBegun_ - 1;
        if (!placedAny) placement.firstPacket = number;
        placement.lastPacket = number;
        AddEntry(piece, done, take);
        done += take;
        placedAny = true;
        if (closeAfter) ClosePacket();
    }

    StreamProgress& s = streams_[piece.streamNumber];
    s.objectNumber = piece.mediaObjectNumber;
    s.objectSize = piece.mediaObjectSize;
    s.nextOffset = piece.offsetIntoMediaObject + static_cast<std::uint32_t>(total);
    s.open = s.nextOffset < s.objectSize;
    return placement;
}

void DataPacketWriter::AddEntry(const PayloadPiece& piece, std::size_t from, std::size_t size)
{
    Entry e{};
    e.streamByte = static_cast<std::uint8_t>(piece.streamNumber | (piece.keyFrame ? 0x80 : 0));
    e.objectNumber = static_cast<std::uint8_t>(piece.mediaObjectNumber & 0xFF);
    e.offset = piece.offsetIntoMediaObject + static_cast<std::uint32_t>(from);
    e.objectSize = piece.mediaObjectSize;
    e.presentationTime = piece.presentationTime;
    e.extensionAt = extensions_.size();
    e.extensionSize = piece.replicatedExtension.size();
    extensions_.insert(extensions_.end(), piece.replicatedExtension.begin(), piece.replicatedExtension.end());
    e.dataAt = data_.size();
    e.dataSize = size;
    const auto first = piece.data.begin() + static_cast<std::ptrdiff_t>(from);
    data_.insert(data_.end(), first, first + static_cast<std::ptrdiff_t>(size));
    if (entries_.empty()) used_ = headerSize_ + 1;
    used_ += kMultiplePayloadHeader + e.extensionSize + size;
    entries_.push_back(e);
}

void DataPacketWriter::ClosePacket()
{
    if (entries_.empty()) return;
    Pending packet;
    if (!spareBuffers_.empty()) {
        packet.bytes = std::move(spareBuffers_.back());
        spareBuffers_.pop_back();
    }
    packet.bytes.clear();
    packet.bytes.reserve(layout_.packetSize);
    packet.number = packetsBegun_ - 1;

    const bool single = entries_.size() == 1;
    std::size_t content = headerSize_ + (single ? 0 : 1);
    packet.earliest = std::numeric_limits<std::uint32_t>::max();
    packet.latest = 0;
    for (const Entry& e : entries_) {
        content += (single ? kSinglePayloadHeader : kMultiplePayloadHeader) + e.extensionSize + e.dataSize;
        packet.earliest = std::min(packet.earliest, e.presentationTime);
        packet.latest = std::max(packet.latest, e.presentationTime);
    }
    const std::size_t padding = layout_.packetSize - content;
    packet.candidate = packet.earliest > layout_.sendTimeLead ? packet.earliest - layout_.sendTimeLead : 0;

    ByteWriter w(packet.bytes);
    w.Bytes(layout_.errorCorrection);
    w.U8(static_cast<std::uint8_t>(lengthTypeFlags_ | (single ? 0 : kMultiplePayloads)));
    w.U8(kPropertyFlags);
    if (layout_.writePacketLength) w.U16(static_cast<std::uint16_t>(layout_.packetSize));
    w.U16(static_cast<std::uint16_t>(padding));
    w.U32(0);  // send time and duration are settled when the packet is emitted
    w.U16(0);
    if (!single) w.U8(static_cast<std::uint8_t>(kPayloadLengthWord | entries_.size()));
    for (const Entry& e : entries_) {
        w.U8(e.streamByte);
        w.U8(e.objectNumber);
        w.U32(e.offset);
        w.U8(static_cast<std::uint8_t>(kReplicatedDataSize + e.extensionSize));
        w.U32(e.objectSize);
        w.U32(e.presentationTime);
        w.Bytes(std::span(extensions_).subspan(e.extensionAt, e.extensionSize));
        if (!single) w.U16(static_cast<std::uint16_t>(e.dataSize));
        w.Bytes(std::span(data_).subspan(e.dataAt, e.dataSize));
    }
    w.Zeros(padding);

    entries_.clear();
    extensions_.clear();
    data_.clear();
    used_ = 0;
    held_.push_back(std::move(packet));
    while (held_.size() > layout_.sendTimeLookahead + 1) EmitFront(false);
}

std::uint32_t DataPacketWriter::WindowMinimum(std::size_t from) const
{
    std::uint32_t minimum = std::numeric_limits<std::uint32_t>::max();
    const std::size_t end = std::min(held_.size(), from + layout_.sendTimeLookahead + 1);
    for (std::size_t i = from; i < end; ++i) minimum = std::min(minimum, held_[i].candidate);
    return minimum;
}

void DataPacketWriter::EmitFront(bool last, std::uint32_t endTime)
{
    Pending& packet = held_.front();
    const std::uint32_t sendTime = std::max(lastSendTime_, WindowMinimum(0));
    std::uint64_t duration = 0;
    if (!last) {
        duration = std::max(sendTime, WindowMinimum(1)) - sendTime;
    } else {
        const std::uint32_t latest = std::max(packet.latest, endTime);
        const std::uint32_t end = latest > layout_.sendTimeLead ? latest - layout_.sendTimeLead : 0;
        duration = end > sendTime ? end - sendTime : 0;
    }
    duration = std::min<std::uint64_t>(duration, 0xFFFF);
    if (sendTime > packet.earliest) ++conflicts_;

    const std::size_t at = layout_.errorCorrection.size() + 2 + (layout_.writePacketLength ? 2 : 0) + 2;
    ByteWriter::Store(packet.bytes.data() + at, sendTime, 4);
    ByteWriter::Store(packet.bytes.data() + at + 4, duration, 2);

    FinishedPacket finished;
    finished.number = packet.number;
    finished.offset = packet.number * layout_.packetSize;
    finished.sendTime = sendTime;
    finished.duration = static_cast<std::uint16_t>(duration);
    finished.bytes = packet.bytes;
    lastSendTime_ = sendTime;
    sendDuration_ = std::uint64_t{sendTime} + duration;
    std::vector<std::uint8_t> buffer = std::move(packet.bytes);
    held_.pop_front();
    sink_(finished);  // `finished.bytes` still points into `buffer`
    spareBuffers_.push_back(std::move(buffer));
}

void DataPacketWriter::Drain()
{
    if (finished_) throw std::logic_error("data packet writer used after Finish");
    ClosePacket();
    while (!held_.empty()) EmitFront(held_.size() == 1);
}

std::uint64_t DataPacketWriter::AddExternal(std::uint32_t& sendTime, std::uint16_t duration)
{
    if (finished_ || !Idle()) throw std::logic_error("data packet writer not drained before a packet made elsewhere");
    sendTime = std::max(sendTime, lastSendTime_);
    lastSendTime_ = sendTime;
    sendDuration_ = std::uint64_t{sendTime} + duration;
    return packetsBegun_++;
}

void DataPacketWriter::SkipExternal(std::uint64_t count, std::uint32_t lastSendTime)
{
    if (finished_ || !Idle()) throw std::logic_error("data packet writer not drained before packets made elsewhere");
    if (count == 0) return;
    lastSendTime_ = std::max(lastSendTime, lastSendTime_);
    packetsBegun_ += count;
}

void DataPacketWriter::ContinueObject(std::uint8_t stream, std::uint32_t number, std::uint32_t size,
                                      std::uint32_t nextOffset)
{
    if (stream < 1 || stream > 127) throw std::invalid_argument("stream number " + std::to_string(stream) + " is outside 1..127");
    StreamProgress& s = streams_[stream];
    s.objectNumber = number;
    s.objectSize = size;
    s.nextOffset = nextOffset;
    s.open = nextOffset < size;
}

void DataPacketWriter::Finish(std::uint32_t endTime)
{
    if (finished_) throw std::logic_error("data packet writer finished twice");
    finished_ = true;
    ClosePacket();
    while (!held_.empty()) EmitFront(held_.size() == 1, endTime);
}

}  // namespace kestrine::asf
