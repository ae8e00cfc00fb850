#include "asf/SpanSearch.h"

#include <algorithm>
#include <vector>

#include "asf/DataPacket.h"
#include "asf/FormatError.h"
#include "asf/KeyFrameScan.h"
#include "asf/PacketReader.h"

namespace kestrine::asf {

namespace {

std::optional<std::uint32_t> SendTimeOf(const AsfFile& file, std::uint64_t index, std::vector<std::uint8_t>& buffer)
{
    buffer.resize(file.Data().packetSize);
    try {
        file.File().ReadExactlyAt(file.Data().PacketOffset(index), buffer, "a data packet");
        ParsedPacket parsed;
        ParseDataPacket(buffer, parsed);
        return parsed.sendTimeMs;
    } catch (const FormatError&) {
        return std::nullopt;
    }
}

bool IsCutPoint(const Payload& pl, std::uint16_t stream, bool video)
{
    return pl.streamNumber == stream && pl.offsetIntoMediaObject == 0 && pl.hasPresentationTime &&
           (!video || pl.keyFrame);
}

}  // namespace

std::uint64_t FirstPacketSentFrom(const AsfFile& file, std::int64_t sendTimeMs)
{
    std::uint64_t low = 0, high = file.Data().packetCount;  // answer in [low, high]
    if (sendTimeMs <= 0) return 0;
    std::vector<std::uint8_t> buffer;
    while (low < high) {
        const std::uint64_t mid = low + (high - low) / 2;
        const auto send = SendTimeOf(file, mid, buffer);
        if (send && std::int64_t{*send} >= sendTimeMs)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

std::optional<CutStart> FindCutStart(const AsfFile& file, std::int64_t start100ns, bool atOrBefore)
{
    const StreamProperties* stream = CutPointStream(file.Header());
    return stream ? FindCutStart(file, stream->number, start100ns, atOrBefore) : std::nullopt;
}

std::optional<CutStart> FindCutStart(const AsfFile& file, std::uint16_t streamNumber, std::int64_t start100ns, bool atOrBefore)
{
    const StreamProperties* stream = file.Header().FindStream(streamNumber);
    if (!stream || (stream->kind != StreamKind::Video && stream->kind != StreamKind::Audio)) return std::nullopt;
    const bool video = stream->kind == StreamKind::Video;
    const std::int64_t preroll = static_cast<std::int64_t>(file.Header().fileProperties.prerollMs);
    constexpr std::int64_t kHalfMs = 5000;
    // Presentation time (100 ns) of the start, with the tolerance on the side that widens the choice.
    const std::int64_t target = start100ns + preroll * 10000;
    auto qualifiesAfter = [&](std::uint32_t pres) { return std::int64_t{pres} * 10000 >= target - kHalfMs; };
    auto qualifiesBefore = [&](std::uint32_t pres) { return std::int64_t{pres} * 10000 <= target + kHalfMs; };

    // Where to scan from: early enough that every cut point presented from the start on is seen.
    // Looking for one before the start may need to go further back; each try doubles the distance.
    const std::int64_t targetMs = target / 10000;
    std::int64_t back = preroll + kLeadSlackMs;
    for (;;) {
        const std::uint64_t from = FirstPacketSentFrom(file, targetMs - back);
        PacketReader reader(file, from);
        PacketView packet;
        ParsedPacket parsed;
        std::optional<CutStart> best;
        bool passed = false;
        while (!passed && reader.Next(packet)) {
            try {
                ParseDataPacket(packet.bytes, parsed);
            } catch (const FormatError&) {
                continue;
            }
            for (const Payload& pl : parsed.payloads) {
                if (!IsCutPoint(pl, stream->number, video)) continue;
                CutStart c;
                c.stream = stream->number;
                c.kind = stream->kind;
                c.presentationMs = pl.presentationTimeMs;
                c.timeMs = file.TimelineMs(pl.presentationTimeMs);
                c.packet = packet.index;
                if (atOrBefore) {
                    if (qualifiesBefore(pl.presentationTimeMs)) {
                        if (!best || pl.presentationTimeMs >= best->presentationMs) best = c;
                    } else {
                        if (!best && from == 0) best = c;  // nothing before it in the whole file: the first
                        passed = true;
                        break;
                    }
                } else if (qualifiesAfter(pl.presentationTimeMs)) {
                    best = c;
                    passed = true;
                    break;
                }
            }
        }
        // Nothing found from a later packet: the start is before everything, past the last cut point,
        // or the send times cannot be trusted; looking further back settles which.
        if (best || from == 0) {
            if (!best) return std::nullopt;
            const std::int64_t readBack = std::int64_t{best->presentationMs} - preroll - kLeadSlackMs;
            best->readFrom = std::min(best->packet, FirstPacketSentFrom(file, readBack));
            return best;
        }
        back *= 2;
    }
}

std::int64_t EarliestPresentationMs(const AsfFile& file)
{
    const std::int64_t preroll = static_cast<std::int64_t>(file.Header().fileProperties.prerollMs);
    PacketReader reader(file);
    PacketView packet;
    ParsedPacket parsed;
    std::optional<std::int64_t> earliest;
    std::optional<std::int64_t> firstSend;
    while (reader.Next(packet)) {
        try {
            ParseDataPacket(packet.bytes, parsed);
        } catch (const FormatError&) {
            continue;
        }
        if (!firstSend) firstSend = parsed.sendTimeMs;
        if (std::int64_t{parsed.sendTimeMs} > *firstSend + preroll + kLeadSlackMs && earliest) break;
        for (const Payload& pl : parsed.payloads)
            if (pl.offsetIntoMediaObject == 0 && pl.hasPresentationTime)
                earliest = std::min<std::int64_t>(earliest.value_or(pl.presentationTimeMs), pl.presentationTimeMs);
    }
    return earliest.value_or(preroll);
}

}  // namespace kestrine::asf
