#include "asf/KeyFrameScan.h"

#include <algorithm>

#include "asf/DataPacket.h"
#include "asf/FormatError.h"
#include "asf/PacketReader.h"

namespace kestrine::asf {

const StreamProperties* CutPointStream(const Header& header)
{
    if (const auto* v = header.LowestStream(StreamKind::Video)) return v;
    if (const auto* a = header.LowestStream(StreamKind::Audio)) return a;
    return header.streams.empty() ? nullptr : &header.streams.front();
}

KeyFrameScan ScanKeyFrames(const AsfFile& file, std::int64_t minAudioSpacingMs)
{
    KeyFrameScan scan;
    const StreamProperties* stream = CutPointStream(file.Header());
    if (!stream) return scan;
    scan.streamNumber = stream->number;
    scan.kind = stream->kind;
    const bool video = stream->kind == StreamKind::Video;

    PacketReader reader(file);
    PacketView packet;
    ParsedPacket parsed;
    std::vector<CutPoint> points;
    while (reader.Next(packet)) {
        ++scan.packetsRead;
        try {
            ParseDataPacket(packet.bytes, parsed);
        } catch (const FormatError& e) {
            if (scan.damagedPackets++ == 0) scan.firstDamage = "packet " + std::to_string(packet.index) + ": " + e.what();
            continue;
        }
        for (const Payload& pl : parsed.payloads) {
            if (pl.hasPresentationTime) {
                scan.lastPresentationTimeMs =
                    scan.sawPresentationTime ? std::max(scan.lastPresentationTimeMs, pl.presentationTimeMs)
                                             : pl.presentationTimeMs;
                scan.sawPresentationTime = true;
            }
            if (pl.streamNumber != scan.streamNumber || pl.offsetIntoMediaObject != 0 || !pl.hasPresentationTime)
                continue;
            if (video && !pl.keyFrame) continue;
            CutPoint c;
            c.presentationTimeMs = pl.presentationTimeMs;
            c.timeMs = file.TimelineMs(pl.presentationTimeMs);
            c.packetIndex = packet.index;
            c.objectNumber = pl.mediaObjectNumber;
            points.push_back(c);
        }
    }
    std::stable_sort(points.begin(), points.end(), [](const CutPoint& a, const CutPoint& b) { return a.timeMs < b.timeMs; });
    for (const CutPoint& c : points) {
        if (!scan.points.empty()) {
            const std::int64_t spacing = video ? 1 : minAudioSpacingMs;
            if (c.timeMs - scan.points.back().timeMs < spacing) continue;
        }
        scan.points.push_back(c);
    }
    return scan;
}

}  // namespace kestrine::asf
