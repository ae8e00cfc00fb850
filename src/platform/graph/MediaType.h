#pragma once
// What flows over a pin connection: major type, subtype and a format block.
// Held by value (the format bytes in a vector) so copies cannot leak or dangle.
#include "platform/com/Guid.h"

#include <cstdint>
#include <vector>

namespace kestrine::platform {

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    ULONG lSampleSize = 0;
    GUID formattype;
    std::vector<BYTE> format;  // layout named by formattype (VIDEOINFOHEADER, WAVEFORMATEX, ...)

    friend bool operator==(const AM_MEDIA_TYPE&, const AM_MEDIA_TYPE&) = default;
};

inline constexpr GUID MEDIATYPE_Video = MakeGuid("{73646976-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIATYPE_Audio = MakeGuid("{73647561-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIATYPE_Stream = MakeGuid("{E436EB83-524F-11CE-9F53-0020AF0BA770}");

inline constexpr GUID MEDIASUBTYPE_RGB32 = MakeGuid("{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_PCM = MakeGuid("{00000001-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_IEEE_FLOAT = MakeGuid("{00000003-0000-0010-8000-00AA00389B71}");

inline constexpr GUID FORMAT_None = MakeGuid("{0F6417D6-C318-11D0-A43F-00A0C9223196}");
inline constexpr GUID FORMAT_VideoInfo = MakeGuid("{05589F80-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_VideoInfo2 = MakeGuid("{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}");
inline constexpr GUID FORMAT_WaveFormatEx = MakeGuid("{05589F81-C356-11CE-BF01-00AA0055595A}");

// The subtype for a fourcc or a wave format tag: the tag in Data1 on the common base identifier.
constexpr GUID SubtypeFromTag(std::uint32_t tag)
{
    GUID g = MakeGuid("{00000000-0000-0010-8000-00AA00389B71}");
    g.Data1 = tag;
    return g;
}
constexpr std::uint32_t FourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) | static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

}  // namespace kestrine::platform
