#pragma once
// The handler types of the filter graph component's published events. Every handler receives the
// sending component first. Interface and string parameters are the graph's own and valid only during
// the call; a handler that keeps one takes its own reference or copy.
#include "media/DvdTimeCode.h"
#include "platform/graph/GraphInterfaces.h"

#include <functional>
#include <string>

class QObject;

namespace kestrine::media {

using platform::DWORD;
using platform::HRESULT;
using platform::IBaseFilter;
using platform::IPin;
using platform::IUnknown;
using platform::LONG;
using platform::LONG_PTR;
using platform::LPCWSTR;
using platform::REFERENCE_TIME;
using platform::WORD;

// What a sound device was doing when it failed (events 512 and 513).
enum SNDDEV_ERR : LONG {
    SNDDEV_ERROR_Open = 1,
    SNDDEV_ERROR_Close = 2,
    SNDDEV_ERROR_GetCaps = 3,
    SNDDEV_ERROR_PrepareHeader = 4,
    SNDDEV_ERROR_UnprepareHeader = 5,
    SNDDEV_ERROR_Reset = 6,
    SNDDEV_ERROR_Restart = 7,
    SNDDEV_ERROR_GetPosition = 8,
    SNDDEV_ERROR_Write = 9,
    SNDDEV_ERROR_Pause = 10,
    SNDDEV_ERROR_Stop = 11,
    SNDDEV_ERROR_Start = 12,
    SNDDEV_ERROR_AddBuffer = 13,
    SNDDEV_ERROR_Query = 14,
};

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TOnDSEvent = std::function<void(QObject* Sender, LONG Event, LONG_PTR Param1, LONG_PTR Param2)>;
using TOnGraphComplete = std::function<void(QObject* Sender, HRESULT Result, IBaseFilter* Renderer)>;
using TOnDSResult = std::function<void(QObject* Sender, HRESULT Result)>;
using TOnGraphStreamError = std::function<void(QObject* Sender, HRESULT Operation, DWORD Value)>;
using TOnGraphVideoSizeChanged = std::function<void(QObject* Sender, WORD Width, WORD height)>;
using TOnGraphOpeningFile = std::function<void(QObject* Sender, bool opening)>;
using TOnGraphBufferingData = std::function<void(QObject* Sender, bool Buffering)>;
using TOnGraphFullscreenLost = std::function<void(QObject* Sender, IBaseFilter* Renderer)>;
using TOnGraphOleEvent = std::function<void(QObject* Sender, LPCWSTR String1, LPCWSTR String2)>;
using TOnGraphStreamControl = std::function<void(QObject* Sender, IPin* PinSender, DWORD Cookie)>;
using TOnGraphEndOfSegment = std::function<void(QObject* Sender, REFERENCE_TIME StreamTime, DWORD NumSegment)>;
using TOnGraphDeviceLost = std::function<void(QObject* Sender, IUnknown* Device, bool Removed)>;
using TOnGraphTimeCodeAvailable = std::function<void(QObject* Sender, IBaseFilter* From, DWORD DeviceID)>;
using TOnGraphEXTDeviceModeChange = std::function<void(QObject* Sender, DWORD NewMode, DWORD DeviceID)>;
using TOnGraphVMRRenderDevice = std::function<void(QObject* Sender, LONG RenderDevice)>;
using TOnGraphSNDDevError = std::function<void(QObject* Sender, SNDDEV_ERR OccurWhen, DWORD ErrorCode)>;

using TOnDVDTitleChange = std::function<void(QObject* Sender, LONG title)>;
using TOnDVDChapterStart = std::function<void(QObject* Sender, LONG chapter)>;
using TOnDVDValidUOPSChange = std::function<void(QObject* Sender, LONG UOPS)>;
using TOnDVDParentalLevelChange = std::function<void(QObject* Sender, LONG level)>;
using TOnDVDChange = std::function<void(QObject* Sender, LONG total, LONG current)>;
using TOnDVDAudioStreamChange = std::function<void(QObject* Sender, LONG stream, LONG lcid, const std::string& Lang)>;
using TOnDVDSubpictureStreamChange = std::function<void(QObject* Sender, LONG SubNum, LONG lcid, const std::string& Lang)>;
using TOnDVDStillOn = std::function<void(QObject* Sender, bool NoButtonAvailable, LONG seconds)>;
using TOnDVDCurrentTime = std::function<void(QObject* Sender, LONG Hours, LONG minutes, LONG seconds, LONG frames, LONG frate)>;
using TOnDVDPlaybackRateChange = std::function<void(QObject* Sender, float rate)>;
using TOnDVDAnglesAvailable = std::function<void(QObject* Sender, bool available)>;
using TOnDVDButtonAutoActivated = std::function<void(QObject* Sender, DWORD Button)>;
using TOnDVDCMD = std::function<void(QObject* Sender, DWORD CmdID)>;
using TOnDVDCurrentHMSFTime = std::function<void(QObject* Sender, DVD_HMSF_TIMECODE HMSFTimeCode, TDVDTimeCode& TimeCode)>;
using TOnDVDKaraokeMode = std::function<void(QObject* Sender, bool Played)>;

}  // namespace kestrine::media
