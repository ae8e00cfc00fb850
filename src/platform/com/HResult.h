#pragma once
// Result codes: the sign bit marks failure. Values are the published ones, so texts and logs match
// what users of these interfaces expect to see.
#include "platform/com/Types.h"

namespace kestrine::platform {

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t code)
{
    return code == 0 ? 0 : MakeHResult((code & 0xFFFFu) | 0x80070000u);
}

// General
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HRESULT E_HANDLE = MakeHResult(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

// Win32 errors as results (file access)
inline constexpr HRESULT HR_FILE_NOT_FOUND = MakeHResult(0x80070002u);  // ERROR_FILE_NOT_FOUND
inline constexpr HRESULT HR_PATH_NOT_FOUND = MakeHResult(0x80070003u);  // ERROR_PATH_NOT_FOUND
inline constexpr HRESULT HR_READ_FAULT = MakeHResult(0x8007001Eu);      // ERROR_READ_FAULT

// COM runtime
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0u);
inline constexpr HRESULT MK_E_UNAVAILABLE = MakeHResult(0x800401E3u);
inline constexpr HRESULT MK_S_MONIKERALREADYREGISTERED = MakeHResult(0x000401E7u);

// Media graph
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeHResult(0x80040200u);
inline constexpr HRESULT VFW_E_INVALIDSUBTYPE = MakeHResult(0x80040201u);
inline constexpr HRESULT VFW_E_NEED_OWNER = MakeHResult(0x80040202u);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = MakeHResult(0x80040203u);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeHResult(0x80040204u);
inline constexpr HRESULT VFW_E_FILTER_ACTIVE = MakeHResult(0x80040205u);
inline constexpr HRESULT VFW_E_NO_TYPES = MakeHResult(0x80040206u);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeHResult(0x80040207u);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeHResult(0x80040208u);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeHResult(0x80040209u);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeHResult(0x8004020Au);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeHResult(0x8004020Bu);
inline constexpr HRESULT VFW_E_NO_CLOCK = MakeHResult(0x80040213u);
inline constexpr HRESULT VFW_E_NO_SINK = MakeHResult(0x80040214u);
inline constexpr HRESULT VFW_E_NO_INTERFACE = MakeHResult(0x80040215u);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeHResult(0x80040216u);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeHResult(0x80040217u);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeHResult(0x80040218u);
inline constexpr HRESULT VFW_E_STATE_CHANGED = MakeHResult(0x80040223u);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeHResult(0x80040224u);
inline constexpr HRESULT VFW_E_NOT_PAUSED = MakeHResult(0x80040225u);
inline constexpr HRESULT VFW_E_NOT_RUNNING = MakeHResult(0x80040226u);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeHResult(0x80040227u);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeHResult(0x8004022Au);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED = MakeHResult(0x8004022Bu);
inline constexpr HRESULT VFW_E_DUPLICATE_NAME = MakeHResult(0x8004022Du);
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = MakeHResult(0x0004022Du);
inline constexpr HRESULT VFW_E_TIMEOUT = MakeHResult(0x8004022Eu);
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = MakeHResult(0x8004022Fu);
inline constexpr HRESULT VFW_E_CIRCULAR_GRAPH = MakeHResult(0x80040231u);
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MakeHResult(0x00040237u);
inline constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = MakeHResult(0x80040240u);
inline constexpr HRESULT VFW_E_CANNOT_LOAD_SOURCE_FILTER = MakeHResult(0x80040241u);
inline constexpr HRESULT VFW_S_PARTIAL_RENDER = MakeHResult(0x00040242u);
inline constexpr HRESULT VFW_E_FILE_TOO_SHORT = MakeHResult(0x80040243u);
inline constexpr HRESULT VFW_E_INVALID_FILE_VERSION = MakeHResult(0x80040244u);
inline constexpr HRESULT VFW_E_NO_DECOMPRESSOR = MakeHResult(0x80040255u);
inline constexpr HRESULT VFW_E_NO_AUDIO_HARDWARE = MakeHResult(0x80040256u);
inline constexpr HRESULT VFW_S_VIDEO_NOT_RENDERED = MakeHResult(0x00040257u);
inline constexpr HRESULT VFW_S_AUDIO_NOT_RENDERED = MakeHResult(0x00040258u);
inline constexpr HRESULT VFW_E_UNSUPPORTED_AUDIO = MakeHResult(0x8004025Cu);
inline constexpr HRESULT VFW_E_UNSUPPORTED_VIDEO = MakeHResult(0x8004025Du);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = MakeHResult(0x8004025Fu);
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MakeHResult(0x80040265u);

// Our media layer's own (interface facility, a range the platform codes above do not use)
inline constexpr HRESULT HR_PROTECTED_CONTENT = MakeHResult(0x8004FE01u);  // encrypted payloads

}  // namespace kestrine::platform
