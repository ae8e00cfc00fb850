#include "media/DvdTimeCode.h"

namespace kestrine::media {
namespace {

BYTE Field(DWORD value, int lowBit, DWORD mask) { return static_cast<BYTE>((value >> lowBit) & mask); }
DWORD Place(BYTE field, int lowBit, DWORD mask) { return (static_cast<DWORD>(field) & mask) << lowBit; }

}  // namespace

TDVDTimeCode SplitDVDTimeCode(DWORD timeCode)
{
    TDVDTimeCode t;
    t.Hours1 = Field(timeCode, 28, 0xF);
    t.Hours10 = Field(timeCode, 24, 0xF);
    t.Minutes1 = Field(timeCode, 20, 0xF);
    t.Minutes10 = Field(timeCode, 16, 0xF);
    t.Seconds1 = Field(timeCode, 12, 0xF);
    t.Seconds10 = Field(timeCode, 8, 0xF);
    t.Frames1 = Field(timeCode, 4, 0xF);
    t.Frames10 = Field(timeCode, 2, 0x3);
    t.FrameRateCode = Field(timeCode, 0, 0x3);
    return t;
}

DWORD PackDVDTimeCode(const TDVDTimeCode& f)
{
    return Place(f.Hours1, 28, 0xF) | Place(f.Hours10, 24, 0xF) | Place(f.Minutes1, 20, 0xF) | Place(f.Minutes10, 16, 0xF) |
           Place(f.Seconds1, 12, 0xF) | Place(f.Seconds10, 8, 0xF) | Place(f.Frames1, 4, 0xF) | Place(f.Frames10, 2, 0x3) |
           Place(f.FrameRateCode, 0, 0x3);
}

int DVDFrameRate(BYTE frameRateCode)
{
    if (frameRateCode == 1) return 25;
    if (frameRateCode == 3) return 30;
    return 0;
}

DVD_HMSF_TIMECODE UnpackHMSFTimeCode(DWORD value)
{
    return DVD_HMSF_TIMECODE{Field(value, 0, 0xFF), Field(value, 8, 0xFF), Field(value, 16, 0xFF), Field(value, 24, 0xFF)};
}

DWORD PackHMSFTimeCode(const DVD_HMSF_TIMECODE& t)
{
    return Place(t.bHours, 0, 0xFF) | Place(t.bMinutes, 8, 0xFF) | Place(t.bSeconds, 16, 0xFF) | Place(t.bFrames, 24, 0xFF);
}

}  // namespace kestrine::media
