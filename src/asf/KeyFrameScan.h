#pragma once
// Finds the points a user can cut at: the keyframes of the lowest-numbered video stream, or, in a
// file without video, the starts of audio media objects thinned to at least `minAudioSpacingMs`
// apart. One sequential pass over the packets; only payload headers are looked at, no media
// object is assembled, so it runs at the speed of reading the file.
#include <cstdint>
#include <string>
#include <vector>

#include "asf/AsfFile.h"
#include "asf/HeaderObjects.h"

namespace kestrine::asf {

struct CutPoint {
    std::int64_t timeMs = 0;         // on the editor's timeline: presentation time minus preroll
    std::uint32_t presentationTimeMs = 0;
    std::uint64_t packetIndex = 0;   // packet holding the object's first byte
    std::uint32_t objectNumber = 0;
};

struct KeyFrameScan {
    std::uint16_t streamNumber = 0;  // 0 when the file has no stream to scan
    StreamKind kind = StreamKind::Other;
    std::vector<CutPoint> points;    // ascending by time, no two at the same time
    std::uint64_t packetsRead = 0;
    std::uint64_t damagedPackets = 0;
    std::string firstDamage;         // what was wrong with the first damaged packet
    std::uint32_t lastPresentationTimeMs = 0;  // latest presentation time seen in any stream
    bool sawPresentationTime = false;
};

// The stream ScanKeyFrames looks at: lowest video, else lowest audio, else lowest of any kind.
const StreamProperties* CutPointStream(const Header& header);

KeyFrameScan ScanKeyFrames(const AsfFile& file, std::int64_t minAudioSpacingMs = 1000);

}  // namespace kestrine::asf
