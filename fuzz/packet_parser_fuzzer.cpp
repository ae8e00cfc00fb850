// libFuzzer target for the data packet parser on one packet at a time. Every offset the parser
// hands out must stay inside the packet, and parsing into reused storage must give the same
// result as parsing afresh (the scan's hot path keeps one ParsedPacket for the whole file).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "asf/DataPacket.h"
#include "asf/FormatError.h"

namespace {

using kestrine::asf::ParsedPacket;
using kestrine::asf::Payload;

bool SamePayload(const Payload& a, const Payload& b)
{
    return a.streamNumber == b.streamNumber && a.keyFrame == b.keyFrame &&
           a.mediaObjectNumber == b.mediaObjectNumber && a.offsetIntoMediaObject == b.offsetIntoMediaObject &&
           a.mediaObjectSize == b.mediaObjectSize && a.presentationTimeMs == b.presentationTimeMs &&
           a.hasPresentationTime == b.hasPresentationTime && a.compressed == b.compressed &&
           a.presentationTimeDelta == b.presentationTimeDelta &&
           a.replicatedDataOffset == b.replicatedDataOffset && a.replicatedDataLength == b.replicatedDataLength &&
           a.dataOffset == b.dataOffset && a.dataLength == b.dataLength;
}

bool SamePacket(const ParsedPacket& a, const ParsedPacket& b)
{
    if (a.payloads.size() != b.payloads.size()) return false;
    for (std::size_t i = 0; i < a.payloads.size(); ++i)
        if (!SamePayload(a.payloads[i], b.payloads[i])) return false;
    return a.hasErrorCorrection == b.hasErrorCorrection && a.errorCorrectionFlags == b.errorCorrectionFlags &&
           a.errorCorrectionDataOffset == b.errorCorrectionDataOffset &&
           a.errorCorrectionDataLength == b.errorCorrectionDataLength && a.lengthTypeFlags == b.lengthTypeFlags &&
           a.propertyFlags == b.propertyFlags && a.multiplePayloads == b.multiplePayloads &&
           a.payloadLengthType == b.payloadLengthType && a.packetLength == b.packetLength &&
           a.explicitPacketLength == b.explicitPacketLength && a.sequence == b.sequence &&
           a.paddingLength == b.paddingLength && a.sendTimeMs == b.sendTimeMs && a.durationMs == b.durationMs &&
           a.payloadParsingEnd == b.payloadParsingEnd;
}

void CheckInside(std::uint64_t offset, std::uint64_t length, std::size_t size)
{
    if (offset > size || length > size - offset) std::abort();
}

// A packet parsed before the one under test, so the reused storage holds stale payloads.
ParsedPacket& Reused()
{
    static ParsedPacket stale = [] {
        ParsedPacket p;
        p.payloads.resize(7);
        for (Payload& pl : p.payloads) {
            pl.dataOffset = 12345;
            pl.dataLength = 999;
            pl.keyFrame = true;
        }
        p.paddingLength = 77;
        return p;
    }();
    return stale;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> packet(data, size);
    ParsedPacket fresh;
    bool freshOk = true;
    try {
        fresh = kestrine::asf::ParseDataPacket(packet);
    } catch (const kestrine::asf::FormatError&) {
        freshOk = false;
    }

    ParsedPacket& reused = Reused();
    bool reusedOk = true;
    try {
        kestrine::asf::ParseDataPacket(packet, reused);
    } catch (const kestrine::asf::FormatError&) {
        reusedOk = false;
    }
    if (freshOk != reusedOk) std::abort();
    if (!freshOk) return 0;
    if (!SamePacket(fresh, reused)) std::abort();

    CheckInside(fresh.errorCorrectionDataOffset, fresh.errorCorrectionDataLength, size);
    if (fresh.payloadParsingEnd > size) std::abort();
    std::uint64_t compressedBytes = 0;
    for (const Payload& p : fresh.payloads) {
        CheckInside(p.dataOffset, p.dataLength, size);
        CheckInside(p.replicatedDataOffset, p.replicatedDataLength, size);
        if (p.streamNumber > 127) std::abort();  // seven bits; 0 is left to the caller to refuse
        if (p.compressed) compressedBytes += p.dataLength;
        // Touch every byte handed out, so a wrong span shows under the address checker.
        volatile std::uint8_t sink = 0;
        for (std::uint8_t b : p.Data(packet)) sink = static_cast<std::uint8_t>(sink ^ b);
        for (std::uint8_t b : p.ReplicatedData(packet)) sink = static_cast<std::uint8_t>(sink ^ b);
        (void)sink;
    }
    if (compressedBytes > size) std::abort();
    return 0;
}
