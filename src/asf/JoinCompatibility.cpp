#include "asf/JoinCompatibility.h"

#include <utility>
#include <vector>

namespace kestrine::asf {

namespace {

const char* KindText(StreamKind kind)
{
    switch (kind) {
        case StreamKind::Audio: return "audio";
        case StreamKind::Video: return "video";
        case StreamKind::Command: return "command";
        case StreamKind::Other: break;
    }
    return "other";
}

std::string StreamText(const StreamProperties& s)
{
    return "stream " + std::to_string(s.number) + " (" + KindText(s.kind) + ")";
}

std::string Numbers(const std::vector<std::uint16_t>& n)
{
    std::string out;
    for (std::uint16_t v : n) out += (out.empty() ? "" : ", ") + std::to_string(v);
    return out.empty() ? "none" : out;
}

std::vector<std::pair<Guid, std::uint16_t>> PayloadExtensions(const Header& h, std::uint16_t stream)
{
    std::vector<std::pair<Guid, std::uint16_t>> out;
    if (const ExtendedStreamProperties* e = h.FindExtendedStreamProperties(stream))
        for (const PayloadExtensionSystem& p : e->payloadExtensionSystems) out.emplace_back(p.id, p.dataSize);
    return out;
}

template <typename T>
std::string Against(const T& a, const T& b)
{
    return std::to_string(a) + " against " + std::to_string(b);
}

// The most telling field that differs between two codec format blocks of the same kind.
std::string FormatDifference(const StreamProperties& a, const StreamProperties& b)
{
    if (a.video && b.video) {
        const VideoFormat& x = *a.video;
        const VideoFormat& y = *b.video;
        if (x.compression != y.compression) return "codec " + x.CompressionText() + " against " + y.CompressionText();
        if (x.width != y.width || x.height != y.height)
            return "picture size " + std::to_string(x.width) + "x" + std::to_string(x.height) + " against " +
                   std::to_string(y.width) + "x" + std::to_string(y.height);
        if (x.bitCount != y.bitCount) return "bit depth " + Against(x.bitCount, y.bitCount);
        return "codec setup data (" + std::to_string(x.formatData.size()) + " against " +
               std::to_string(y.formatData.size()) + " bytes, contents differ)";
    }
    if (a.audio && b.audio) {
        const AudioFormat& x = *a.audio;
        const AudioFormat& y = *b.audio;
        if (x.formatTag != y.formatTag) return "audio codec (format tag) " + Against(x.formatTag, y.formatTag);
        if (x.samplesPerSecond != y.samplesPerSecond)
            return "sample rate " + Against(x.samplesPerSecond, y.samplesPerSecond) + " Hz";
        if (x.channels != y.channels) return "channel count " + Against(x.channels, y.channels);
        if (x.averageBytesPerSecond != y.averageBytesPerSecond)
            return "bit rate " + Against(x.averageBytesPerSecond * 8, y.averageBytesPerSecond * 8) + " bit/s";
        if (x.blockAlign != y.blockAlign) return "block size " + Against(x.blockAlign, y.blockAlign);
        if (x.bitsPerSample != y.bitsPerSample) return "bits per sample " + Against(x.bitsPerSample, y.bitsPerSample);
        return "codec setup data (contents differ)";
    }
    return "format block (" + std::to_string(a.typeSpecificData.size()) + " against " +
           std::to_string(b.typeSpecificData.size()) + " bytes, contents differ)";
}

}  // namespace

std::optional<std::string> JoinDifference(const Header& first, const Header& second)
{
    std::vector<std::uint16_t> numbersA, numbersB;
    for (const auto& s : first.streams) numbersA.push_back(s.number);
    for (const auto& s : second.streams) numbersB.push_back(s.number);
    if (numbersA != numbersB) return "the streams differ: " + Numbers(numbersA) + " against " + Numbers(numbersB);

    for (std::size_t i = 0; i < first.streams.size(); ++i) {
        const StreamProperties& a = first.streams[i];
        const StreamProperties& b = second.streams[i];
        if (a.streamType != b.streamType)
            return "stream " + std::to_string(a.number) + " is " + KindText(a.kind) + " in one and " + KindText(b.kind) +
                   " in the other";
        if (a.typeSpecificData != b.typeSpecificData) return StreamText(a) + " has a different " + FormatDifference(a, b);
        if (a.errorCorrectionType != b.errorCorrectionType || a.errorCorrectionData != b.errorCorrectionData)
            return StreamText(a) + " has a different audio spread (error correction)";
        if (a.Encrypted() != b.Encrypted()) return StreamText(a) + " is encrypted in only one of them";
        // Each object's replicated data carries the extensions the first file's header declares.
        if (PayloadExtensions(first, a.number) != PayloadExtensions(second, b.number))
            return StreamText(a) + " has different payload extensions (per-object data such as timecodes)";
    }
    return std::nullopt;
}

}  // namespace kestrine::asf
