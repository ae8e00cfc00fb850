#include "platform/graph/WaveFormat.h"

#include "asf/HeaderParser.h"
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
    // A bare WAVEFORMAT (PCM) may end before cbSize; otherwise cbSize must fit in the block.
    const std::vector<BYTE>& block = type.format;
    if (block.size() < 16 || block.size() == 17) return std::nullopt;
    if (block.size() > 17 && 18u + (block[16] | (block[17] << 8)) > block.size()) return std::nullopt;
    const auto parsed = asf::ParseAudioFormat(block);
    if (!parsed) return std::nullopt;
    return WaveFormat{*parsed};
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
    w.U16(static_cast<std::uint16_t>(extra.size()));
    w.Bytes(extra);
    return out;
}

}  // namespace kestrine::platform
