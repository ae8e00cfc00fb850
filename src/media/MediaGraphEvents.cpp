// How the component turns its graph's events into calls: the hidden window's procedure, the drain of
// the graph's queue, and the table from event codes to published events.
#include "media/LanguageNames.h"
#include "media/MediaGraph.h"
#include "platform/GuardedApplication.h"

#include <exception>

namespace kestrine::media {

using platform::ComPtr;
using platform::DWORD;
using platform::HRESULT;

namespace {

// Parameters are 32-bit values widened to pointer size; the numbers live in the low 32 bits.
LONG Low32(LONG_PTR value) { return static_cast<LONG>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(value))); }
DWORD Unsigned32(LONG_PTR value) { return static_cast<DWORD>(static_cast<std::uintptr_t>(value)); }

template <class T>
T* PointerParam(LONG_PTR value)
{
    return reinterpret_cast<T*>(value);
}

}  // namespace

platform::LRESULT TFilterGraph::EventWindowProcedure(platform::UINT message, platform::WPARAM, platform::LPARAM)
{
    if (message != WM_GRAPHNOTIFY) return 0;  // the default handling of a hidden window does nothing
    try {
        DrainGraphEvents();
    } catch (...) {
        // The failing handler ends the drain; the rest waits for the next notification, and the
        // window stays in service.
        platform::ShowEscapedException(std::current_exception());
    }
    return 0;
}

void TFilterGraph::DrainGraphEvents()
{
    if (!mediaEvents_) return;
    // Our own reference: a handler may deactivate the graph while its event is being handled.
    const ComPtr<platform::IMediaEventEx> events = mediaEvents_;
    for (;;) {
        LONG code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        if (events->GetEvent(&code, &param1, &param2, 0) != platform::S_OK) break;
        HandleGraphEvent(code, param1, param2);
        events->FreeEventParams(code, param1, param2);
        if (mediaEvents_ != events) break;  // deactivated (or re-activated) by a handler
    }
}

void TFilterGraph::FireDVDLanguageEvent(LONG code, LONG_PTR stream)
{
    const auto info = Query<platform::IDvdInfo2>();
    if (!info) return;
    const auto streamNumber = static_cast<platform::ULONG>(Unsigned32(stream));
    platform::LCID lcid = 0;
    if (code == 260) {
        CheckMediaResult(info->GetAudioLanguage(streamNumber, &lcid));
    } else if (platform::FAILED(info->GetSubpictureLanguage(streamNumber, &lcid))) {
        lcid = 0;  // unknown language: no name either
    }
    char name[260] = {};
    GetLocaleInfoA(lcid, LOCALE_SENGLANGUAGE, name, static_cast<int>(sizeof name));
    const std::string language(name);
    const auto locale = static_cast<LONG>(lcid);
    if (code == 260) {
        if (OnDVDAudioStreamChange) OnDVDAudioStreamChange(this, Low32(stream), locale, language);
    } else {
        if (OnDVDSubpictureStreamChange) OnDVDSubpictureStreamChange(this, Low32(stream), locale, language);
    }
}

void TFilterGraph::HandleGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    NotifyListenersOfEvent(code, param1, param2);
    if (OnDSEvent) OnDSEvent(this, code, param1, param2);

    const auto fire = [this](const auto& handler, auto... args) {
        if (handler) handler(this, args...);
    };
    const LONG p1 = Low32(param1);
    const LONG p2 = Low32(param2);
    const auto result1 = static_cast<HRESULT>(p1);

    switch (code) {
    case 1: fire(OnGraphComplete, result1, PointerParam<IBaseFilter>(param2)); break;
    case 2: fire(OnGraphUserAbort); break;
    case 3: fire(OnGraphErrorAbort, result1); break;
    case 6: fire(OnGraphStreamErrorStopped, result1, Unsigned32(param2)); break;
    case 7: fire(OnGraphStreamErrorStillPlaying, result1, Unsigned32(param2)); break;
    case 8: fire(OnGraphErrorStillPlaying, result1); break;
    case 9: fire(OnGraphPaletteChanged); break;
    case 10:
        fire(OnGraphVideoSizeChanged, static_cast<WORD>(Unsigned32(param1) & 0xFFFF), static_cast<WORD>(Unsigned32(param1) >> 16));
        break;
    case 11: fire(OnGraphQualityChange); break;
    case 13: fire(OnGraphClockChanged); break;
    case 14: fire(OnGraphPaused, result1); break;
    case 16: fire(OnGraphOpeningFile, p1 == 1); break;
    case 17: fire(OnGraphBufferingData, p1 == 1); break;
    case 18: fire(OnGraphFullscreenLost, PointerParam<IBaseFilter>(param2)); break;
    case 24: fire(OnGraphOleEvent, PointerParam<const platform::WCHAR>(param1), PointerParam<const platform::WCHAR>(param2)); break;
    case 26: fire(OnGraphStreamControlStopped, PointerParam<IPin>(param1), Unsigned32(param2)); break;
    case 27: fire(OnGraphStreamControlStarted, PointerParam<IPin>(param1), Unsigned32(param2)); break;
    case 28:
        if (OnGraphEndOfSegment) {
            // The stream time comes by address; an event without one reads as time 0.
            const auto* time = PointerParam<const REFERENCE_TIME>(param1);
            OnGraphEndOfSegment(this, time ? *time : 0, Unsigned32(param2));
        }
        break;
    case 31: fire(OnGraphDeviceLost, PointerParam<IUnknown>(param1), p2 == 1); break;
    case 36: fire(OnGraphStepComplete); break;
    case 48: fire(OnGraphTimeCodeAvailable, PointerParam<IBaseFilter>(param1), Unsigned32(param2)); break;
    case 49: fire(OnGraphEXTDeviceModeChange, Unsigned32(param1), Unsigned32(param2)); break;
    case 80: fire(OnGraphChanged); break;
    case 81: fire(OnGraphClockUnset); break;
    case 83: fire(OnGraphVMRRenderDevice, p1); break;
    case 257:  // the first parameter picks the domain
        switch (p1) {
        case 1: fire(OnDVDDomainFirstPlay); break;
        case 2: fire(OnDVDDomainVideoManagerMenu); break;
        case 3: fire(OnDVDDomainVideoTitleSetMenu); break;
        case 4: fire(OnDVDDomainTitle); break;
        case 5: fire(OnDVDDomainStop); break;
        default: break;
        }
        break;
    case 258: fire(OnDVDTitleChange, p1); break;
    case 259: fire(OnDVDChapterStart, p1); break;
    case 260:
        if (OnDVDAudioStreamChange) FireDVDLanguageEvent(code, param1);
        break;
    case 261:
        if (OnDVDSubpictureStreamChange) FireDVDLanguageEvent(code, param1);
        break;
    case 262: fire(OnDVDAngleChange, p1, p2); break;
    case 263: fire(OnDVDButtonChange, p1, p2); break;
    case 264: fire(OnDVDValidUOPSChange, p1); break;
    case 265: fire(OnDVDStillOn, p1 == 1, p2); break;
    case 266: fire(OnDVDStillOff); break;
    case 267:
        if (OnDVDCurrentTime) {
            const TDVDTimeCode t = SplitDVDTimeCode(Unsigned32(param1));
            OnDVDCurrentTime(this, t.Hours1 + 10 * t.Hours10, t.Minutes1 + 10 * t.Minutes10, t.Seconds1 + 10 * t.Seconds10,
                             t.Frames1 + 10 * t.Frames10, DVDFrameRate(t.FrameRateCode));
        }
        break;
    case 268:
        switch (p1) {
        case 1: fire(OnDVDErrorUnexpected); break;
        case 2: fire(OnDVDErrorCopyProtectFail); break;
        case 3: fire(OnDVDErrorInvalidDVD1_0Disc); break;
        case 4: fire(OnDVDErrorInvalidDiscRegion); break;
        case 5: fire(OnDVDErrorLowParentalLevel); break;
        case 6: fire(OnDVDErrorMacrovisionFail); break;
        case 7: fire(OnDVDErrorIncompatibleSystemAndDecoderRegions); break;
        case 8: fire(OnDVDErrorIncompatibleDiscAndDecoderRegions); break;
        default: break;
        }
        break;
    case 269:
        switch (p1) {
        case 1: fire(OnDVDWarningInvalidDVD1_0Disc); break;
        case 2: fire(OnDVDWarningFormatNotSupported); break;
        case 3: fire(OnDVDWarningIllegalNavCommand); break;
        case 4: fire(OnDVDWarningOpen); break;
        case 5: fire(OnDVDWarningSeek); break;
        case 6: fire(OnDVDWarningRead); break;
        default: break;
        }
        break;
    case 270: fire(OnDVDChapterAutoStop); break;
    case 271: fire(OnDVDNoFP_PGC); break;
    case 272: fire(OnDVDPlaybackRateChange, static_cast<float>(static_cast<double>(p1) / 10000.0)); break;
    case 273: fire(OnDVDParentalLevelChange, p1); break;
    case 274: fire(OnDVDPlaybackStopped); break;
    case 275: fire(OnDVDAnglesAvailable, p1 == 1); break;
    case 276: fire(OnDVDPlayPeriodAutoStop); break;
    case 277: fire(OnDVDButtonAutoActivated, Unsigned32(param1)); break;
    case 278: fire(OnDVDCMDStart, Unsigned32(param1)); break;
    case 279: fire(OnDVDCMDEnd, Unsigned32(param1)); break;
    case 280: fire(OnDVDDiscEjected); break;
    case 281: fire(OnDVDDiscInserted); break;
    case 282:
        if (OnDVDCurrentHMSFTime) {
            TDVDTimeCode timeCode = SplitDVDTimeCode(Unsigned32(param2));
            OnDVDCurrentHMSFTime(this, UnpackHMSFTimeCode(Unsigned32(param1)), timeCode);
        }
        break;
    case 283: fire(OnDVDKaraokeMode, p1 != 0); break;
    case 512: fire(OnGraphSNDDevInError, static_cast<SNDDEV_ERR>(p1), Unsigned32(param2)); break;
    case 513: fire(OnGraphSNDDevOutError, static_cast<SNDDEV_ERR>(p1), Unsigned32(param2)); break;
    default: break;
    }
}

}  // namespace kestrine::media
