#include "asf/MediaObjects.h"

#include "asf/FormatError.h"

namespace kestrine::asf {

void MediaObjectAssembler::Add(const PacketView& packet, const ParsedPacket& parsed, std::vector<MediaObject>& out)
{
    for (const Payload& pl : parsed.payloads) {
        auto data = pl.Data(packet.bytes);
        const bool wholeWithoutSize = pl.mediaObjectSize == 0 && pl.offsetIntoMediaObject == 0;
        if (pl.compressed || wholeWithoutSize) {
            MediaObject o;
            o.streamNumber = pl.streamNumber;
            o.objectNumber = pl.mediaObjectNumber;
            o.presentationTimeMs = pl.presentationTimeMs;
            o.keyFrame = pl.keyFrame;
            o.compressed = pl.compressed;
            o.data.assign(data.begin(), data.end());
            if (!pl.compressed) {
                auto rep = pl.ReplicatedData(packet.bytes);
                o.replicatedData.assign(rep.begin(), rep.end());
            }
            o.firstPacketIndex = packet.index;
            o.firstPacketOffset = packet.fileOffset;
            o.firstPacketSendTimeMs = parsed.sendTimeMs;
            out.push_back(std::move(o));
            continue;
        }

        auto it = pending_.find(pl.streamNumber);
        if (pl.offsetIntoMediaObject == 0) {
            if (it != pending_.end()) {
                ++dropped_;  // the previous object never completed
                pending_.erase(it);
            }
            if (pl.mediaObjectSize > kMaxObjectSize || data.size() > pl.mediaObjectSize) {
                ++dropped_;
                continue;
            }
            Pending p;
            p.size = pl.mediaObjectSize;
            MediaObject& o = p.object;
            o.streamNumber = pl.streamNumber;
            o.objectNumber = pl.mediaObjectNumber;
            o.presentationTimeMs = pl.presentationTimeMs;
            o.keyFrame = pl.keyFrame;
            auto rep = pl.ReplicatedData(packet.bytes);
            o.replicatedData.assign(rep.begin(), rep.end());
            o.firstPacketIndex = packet.index;
            o.firstPacketOffset = packet.fileOffset;
            o.firstPacketSendTimeMs = parsed.sendTimeMs;
            o.data.reserve(p.size);
            o.data.assign(data.begin(), data.end());
            it = pending_.emplace(pl.streamNumber, std::move(p)).first;
        } else {
            if (it == pending_.end()) continue;  // the start of this object is not in the file (or was lost)
            Pending& p = it->second;
            if (p.object.objectNumber != pl.mediaObjectNumber || p.object.data.size() != pl.offsetIntoMediaObject ||
                pl.mediaObjectSize != p.size || data.size() > p.size - p.object.data.size()) {
                ++dropped_;
                pending_.erase(it);
                continue;
            }
            p.object.data.insert(p.object.data.end(), data.begin(), data.end());
            p.object.keyFrame = p.object.keyFrame || pl.keyFrame;
        }
        if (it->second.object.data.size() == it->second.size) {
            out.push_back(std::move(it->second.object));
            pending_.erase(it);
        }
    }
}

MediaObjectReader::MediaObjectReader(const AsfFile& file, std::uint64_t firstPacket) : file_(file), packets_(file, firstPacket) {}

// A file cut off inside a packet (a download or capture that stopped): the payloads that lie wholly
// before the cut are read from the packet's first bytes, the rest taken as missing.
bool MediaObjectReader::SalvageCutOffPacket()
{
    salvaged_ = true;
    const DataObjectInfo& d = file_.Data();
    if (!d.truncated || d.trailingBytes == 0 || d.trailingBytes >= d.packetSize) return false;
    std::vector<std::uint8_t> bytes(d.packetSize, 0);
    const std::size_t got = file_.File().ReadAt(d.End(), std::span(bytes).first(static_cast<std::size_t>(d.trailingBytes)));
    const PacketView packet{d.packetCount, d.End(), bytes};
    try {
        ParseDataPacket(packet.bytes, parsed_);
    } catch (const FormatError&) {
        return false;
    }
    std::erase_if(parsed_.payloads, [&](const Payload& p) { return std::size_t{p.dataOffset} + p.dataLength > got; });
    assembler_.Add(packet, parsed_, ready_);
    return true;
}

bool MediaObjectReader::Next(MediaObject& out)
{
    while (readyPos_ == ready_.size()) {
        ready_.clear();
        readyPos_ = 0;
        PacketView packet;
        if (!packets_.Next(packet)) {
            if (salvaged_ || !SalvageCutOffPacket()) return false;
            continue;
        }
        try {
            ParseDataPacket(packet.bytes, parsed_);
        } catch (const FormatError& e) {
            if (damaged_++ == 0) firstDamage_ = "packet " + std::to_string(packet.index) + ": " + e.what();
            assembler_.Reset();
            continue;
        }
        assembler_.Add(packet, parsed_, ready_);
    }
    out = std::move(ready_[readyPos_++]);
    return true;
}

std::vector<std::string> MediaObjectReader::Warnings() const
{
    std::vector<std::string> w;
    if (damaged_)
        w.push_back(std::to_string(damaged_) + " damaged data packet(s) skipped (first: " + firstDamage_ + ")");
    if (assembler_.DroppedObjects())
        w.push_back(std::to_string(assembler_.DroppedObjects()) + " incomplete media object(s) dropped");
    return w;
}

}  // namespace kestrine::asf
