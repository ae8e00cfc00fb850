#include "platform/graph/WaveFormat.h"

#include "asf/ByteReader.h"
#include "asf/ByteWriter.h"

namespace kestrine::platform {

WaveFormat WaveFormat::Pcm(int channels, int samplesPerSecond, int bitsPerSample)
{
    WaveFormat w;
    w.formatTag = kPcmTag;
    w.channels = static_cast<std::uint16_t>(channels);
    w.samplesPerSecond = static_cast<std::uint32_t>(samplesPerSecond);
    w.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    w.blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
    w.averageBytesPerSecond = w.samplesPerSecond * w.blockAlign;
    return w;
}

std::optional<WaveFormat> WaveFormat::Parse(const AM_MEDIA_TYPE& type)
{
    if (type.formattype != FORMAT_WaveFormatEx) return std::nullopt;
    try {
        asf::ByteReader r(type.format, "WAVEFORMATEX");
        WaveFormat w;
        w.formatTag = r.U16();
        w.channels = r.U16();
        w.samplesPerSecond = r.U32();
        w.averageBytesPerSecond = r.U32();
        w.blockAlign = r.U16();
        w.bitsPerSample = r.U16();
        if (!r.AtEnd()) {  // a bare WAVEFORMAT (PCM) may end before cbSize
            const auto extra = r.Bytes(r.U16());
            w.codecData.assign(extra.begin(), extra.end());
        }
        return w;
    } catch (const asf::FormatError&) {
        return std::nullopt;
    }
}

std::vector<BYTE> WaveFormat::FormatBlock() const
{
    std::vector<BYTE> out;
    asf::ByteWriter w(out);
    w.U16(formatTag);
    w.U16(channels);
    w.U32(samplesPerSecond);
    w.U32(averageBytesPerSecond);
    w.U16(blockAlign);
    w.U16(bitsPerSample);
    w.U16(static_cast<std::uint16_t>(codecData.size()));
    w.Bytes(codecData);
    return out;
}

}  // namespace kestrine::platform
