#pragma once
// DVD time codes as our graph packs them into an event parameter: binary-coded decimal digits, the
// hours' units in the top nibble down to the frame-rate code in the lowest two bits.
//
//   bits 28-31 hours units     bits 24-27 hours tens
//   bits 20-23 minutes units   bits 16-19 minutes tens
//   bits 12-15 seconds units   bits  8-11 seconds tens
//   bits  4-7  frames units    bits  2-3  frames tens    bits 0-1 frame-rate code
#include "platform/com/Types.h"

namespace kestrine::media {

using platform::BYTE;
using platform::DWORD;

// The nine fields, in the order handlers receive them.
struct TDVDTimeCode {
    BYTE Hours1 = 0;
    BYTE Hours10 = 0;
    BYTE Minutes1 = 0;
    BYTE Minutes10 = 0;
    BYTE Seconds1 = 0;
    BYTE Seconds10 = 0;
    BYTE Frames1 = 0;
    BYTE Frames10 = 0;
    BYTE FrameRateCode = 0;  // 1: 25 frames a second, 3: 30 (drop-frame)

    friend bool operator==(const TDVDTimeCode&, const TDVDTimeCode&) = default;
};

// Hours, minutes, seconds and frames as four bytes in memory order (hours in the lowest byte of the
// parameter that carries them).
struct DVD_HMSF_TIMECODE {
    BYTE bHours = 0;
    BYTE bMinutes = 0;
    BYTE bSeconds = 0;
    BYTE bFrames = 0;

    friend bool operator==(const DVD_HMSF_TIMECODE&, const DVD_HMSF_TIMECODE&) = default;
};

TDVDTimeCode SplitDVDTimeCode(DWORD timeCode);
// The inverse, for whoever produces these events.
DWORD PackDVDTimeCode(const TDVDTimeCode& fields);

// Frames a second for a frame-rate code: 25 for 1, 30 for 3, otherwise 0.
int DVDFrameRate(BYTE frameRateCode);

DVD_HMSF_TIMECODE UnpackHMSFTimeCode(DWORD value);
DWORD PackHMSFTimeCode(const DVD_HMSF_TIMECODE& time);

}  // namespace kestrine::media
