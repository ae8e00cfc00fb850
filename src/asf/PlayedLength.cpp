#include "asf/PlayedLength.h"

#include <algorithm>
#include <map>

#include "asf/FormatError.h"
#include "asf/MediaObjects.h"

namespace kestrine::asf {
namespace {

// The last objects lie in the last packets; this many always hold several whole ones.
constexpr std::uint64_t kTailPackets = 256;

struct StreamTail {
    std::uint32_t lastMs = 0;
    std::uint32_t previousMs = 0;
    std::size_t lastBytes = 0;
    int seen = 0;
};

std::uint64_t ObjectLength(const Header& h, std::uint16_t stream, const StreamTail& t)
{
    const StreamProperties* s = h.FindStream(stream);
    if (s && s->kind == StreamKind::Audio && s->audio && s->audio->averageBytesPerSecond > 0)
        return std::uint64_t{t.lastBytes} * 10'000'000 / s->audio->averageBytesPerSecond;
    // The spacing of the last two frames; live encoders do not always know the average they declare.
    if (t.seen > 1) return std::uint64_t{t.lastMs - t.previousMs} * 10'000;
    const auto* ext = h.FindExtendedStreamProperties(stream);
    return ext ? ext->averageTimePerFrame : 0;
}

}  // namespace

bool HeaderDurationValid(const FileProperties& fp)
{
    return !fp.Broadcast() && fp.playDuration > fp.prerollMs * 10'000;
}

std::uint64_t PlayDuration(const AsfFile& file)
{
    const Header& h = file.Header();
    // A file cut short plays only as far as its packets go, whatever its header says.
    if (HeaderDurationValid(h.fileProperties) && !file.Data().truncated) return h.fileProperties.playDuration;
    const std::uint64_t count = file.Data().packetCount;
    std::map<std::uint16_t, StreamTail> tails;
    try {
        MediaObjectReader objects(file, count > kTailPackets ? count - kTailPackets : 0);
        MediaObject object;
        while (objects.Next(object)) {
            StreamTail& t = tails[object.streamNumber];
            if (t.seen > 0 && object.presentationTimeMs < t.lastMs) continue;
            t.previousMs = t.lastMs;
            t.lastMs = object.presentationTimeMs;
            t.lastBytes = object.data.size();
            ++t.seen;
        }
    } catch (const FormatError&) {
        // A damaged tail: what was read before it counts.
    }
    std::uint64_t end = 0;
    for (const auto& [stream, t] : tails) end = std::max(end, std::uint64_t{t.lastMs} * 10'000 + ObjectLength(h, stream, t));
    return end;
}

}  // namespace kestrine::asf
