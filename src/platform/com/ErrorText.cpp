#include "platform/com/ErrorText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kestrine::platform {
namespace {

struct Entry {
    HRESULT code;
    const char* name;
    const char* text;
};

// Texts say what went wrong in the user's terms; the caller appends the code itself.
constexpr Entry kEntries[] = {
    {S_OK, "S_OK", "The operation completed successfully."},
    {S_FALSE, "S_FALSE", "The operation completed, but not everything was done."},
    {E_NOTIMPL, "E_NOTIMPL", "This operation is not supported."},
    {E_NOINTERFACE, "E_NOINTERFACE", "The object does not offer the requested interface."},
    {E_POINTER, "E_POINTER", "A required pointer argument was missing."},
    {E_ABORT, "E_ABORT", "The operation was aborted or timed out."},
    {E_FAIL, "E_FAIL", "The operation failed for an unspecified reason."},
    {E_UNEXPECTED, "E_UNEXPECTED", "The operation was called at an unexpected time."},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "Access to the file was denied."},
    {E_HANDLE, "E_HANDLE", "The handle given is not valid."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "There is not enough memory to complete the operation."},
    {E_INVALIDARG, "E_INVALIDARG", "An argument is not valid."},
    {HR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND", "The file could not be found."},
    {HR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND", "The folder of the file could not be found."},
    {HR_READ_FAULT, "ERROR_READ_FAULT", "The file could not be read."},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", "This object cannot be created as part of another object."},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE", "The object's class is not available."},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "The object's class is not registered."},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "The object runtime has not been initialized on this thread."},
    {MK_E_UNAVAILABLE, "MK_E_UNAVAILABLE", "The object is not registered as running."},
    {MK_S_MONIKERALREADYREGISTERED, "MK_S_MONIKERALREADYREGISTERED", "An object is already registered under this name."},
    {VFW_E_INVALIDMEDIATYPE, "VFW_E_INVALIDMEDIATYPE", "The media type is not valid."},
    {VFW_E_INVALIDSUBTYPE, "VFW_E_INVALIDSUBTYPE", "The media subtype is not valid."},
    {VFW_E_NEED_OWNER, "VFW_E_NEED_OWNER", "The object can only be used by its owner."},
    {VFW_E_ENUM_OUT_OF_SYNC, "VFW_E_ENUM_OUT_OF_SYNC", "The list changed while it was being enumerated."},
    {VFW_E_ALREADY_CONNECTED, "VFW_E_ALREADY_CONNECTED", "At least one of the pins is already connected."},
    {VFW_E_FILTER_ACTIVE, "VFW_E_FILTER_ACTIVE", "The operation cannot be done while the filter is active."},
    {VFW_E_NO_TYPES, "VFW_E_NO_TYPES", "The pin offers no media types."},
    {VFW_E_NO_ACCEPTABLE_TYPES, "VFW_E_NO_ACCEPTABLE_TYPES", "The pins have no media type in common."},
    {VFW_E_INVALID_DIRECTION, "VFW_E_INVALID_DIRECTION", "Two pins of the same direction cannot be connected."},
    {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED", "The pin is not connected."},
    {VFW_E_NO_ALLOCATOR, "VFW_E_NO_ALLOCATOR", "No sample buffer allocator is available."},
    {VFW_E_RUNTIME_ERROR, "VFW_E_RUNTIME_ERROR", "A run-time error occurred while streaming."},
    {VFW_E_NO_CLOCK, "VFW_E_NO_CLOCK", "No reference clock is set."},
    {VFW_E_NO_SINK, "VFW_E_NO_SINK", "No event sink is set."},
    {VFW_E_NO_INTERFACE, "VFW_E_NO_INTERFACE", "The required interface is not offered."},
    {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND", "The object could not be found."},
    {VFW_E_CANNOT_CONNECT, "VFW_E_CANNOT_CONNECT", "No combination of filters could be found to make the connection."},
    {VFW_E_CANNOT_RENDER, "VFW_E_CANNOT_RENDER", "None of the file's streams can be played."},
    {VFW_E_STATE_CHANGED, "VFW_E_STATE_CHANGED", "The state changed while the operation was in progress."},
    {VFW_E_NOT_STOPPED, "VFW_E_NOT_STOPPED", "The operation needs the filter to be stopped."},
    {VFW_E_NOT_PAUSED, "VFW_E_NOT_PAUSED", "The operation needs the filter to be paused."},
    {VFW_E_NOT_RUNNING, "VFW_E_NOT_RUNNING", "The operation needs the filter to be running."},
    {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE", "The operation cannot be done in the current state."},
    {VFW_E_TYPE_NOT_ACCEPTED, "VFW_E_TYPE_NOT_ACCEPTED", "The media type was not accepted."},
    {VFW_E_SAMPLE_REJECTED, "VFW_E_SAMPLE_REJECTED", "A sample was rejected because the filter is not streaming."},
    {VFW_E_DUPLICATE_NAME, "VFW_E_DUPLICATE_NAME", "A filter with this name is already in the graph."},
    {VFW_S_DUPLICATE_NAME, "VFW_S_DUPLICATE_NAME", "The filter was added under a changed name, as the name was taken."},
    {VFW_E_TIMEOUT, "VFW_E_TIMEOUT", "The operation timed out."},
    {VFW_E_INVALID_FILE_FORMAT, "VFW_E_INVALID_FILE_FORMAT", "The file is damaged or its format is not valid."},
    {VFW_E_CIRCULAR_GRAPH, "VFW_E_CIRCULAR_GRAPH", "The connection would make a loop in the graph."},
    {VFW_S_STATE_INTERMEDIATE, "VFW_S_STATE_INTERMEDIATE", "The state change has not finished yet."},
    {VFW_E_UNKNOWN_FILE_TYPE, "VFW_E_UNKNOWN_FILE_TYPE", "The file is not in a format that can be played; it is not an ASF file."},
    {VFW_E_CANNOT_LOAD_SOURCE_FILTER, "VFW_E_CANNOT_LOAD_SOURCE_FILTER", "No reader for this kind of file is available."},
    {VFW_S_PARTIAL_RENDER, "VFW_S_PARTIAL_RENDER", "Some of the file's streams are in a format that cannot be played."},
    {VFW_E_FILE_TOO_SHORT, "VFW_E_FILE_TOO_SHORT", "The file is shorter than its header says; it may be truncated."},
    {VFW_E_INVALID_FILE_VERSION, "VFW_E_INVALID_FILE_VERSION", "The file's format version is not supported."},
    {VFW_E_NO_DECOMPRESSOR, "VFW_E_NO_DECOMPRESSOR", "No decoder is available for the stream's format."},
    {VFW_E_NO_AUDIO_HARDWARE, "VFW_E_NO_AUDIO_HARDWARE", "No sound output device is available."},
    {VFW_S_VIDEO_NOT_RENDERED, "VFW_S_VIDEO_NOT_RENDERED", "The video stream cannot be played; the rest plays."},
    {VFW_S_AUDIO_NOT_RENDERED, "VFW_S_AUDIO_NOT_RENDERED", "The audio stream cannot be played; the rest plays."},
    {VFW_E_UNSUPPORTED_AUDIO, "VFW_E_UNSUPPORTED_AUDIO", "The audio format is not supported."},
    {VFW_E_UNSUPPORTED_VIDEO, "VFW_E_UNSUPPORTED_VIDEO", "The video format is not supported."},
    {VFW_E_NOT_IN_GRAPH, "VFW_E_NOT_IN_GRAPH", "The filter is not in the graph."},
    {VFW_E_UNSUPPORTED_STREAM, "VFW_E_UNSUPPORTED_STREAM", "The file holds no stream in a supported format."},
    {HR_PROTECTED_CONTENT, "HR_PROTECTED_CONTENT", "The file is protected (its content is encrypted) and cannot be played."},
};

const Entry* Find(HRESULT hr)
{
    const auto* it = std::find_if(std::begin(kEntries), std::end(kEntries), [hr](const Entry& e) { return e.code == hr; });
    return it == std::end(kEntries) ? nullptr : it;
}

std::string Hex(HRESULT hr)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

}  // namespace

std::string ErrorText(HRESULT hr)
{
    if (const Entry* e = Find(hr)) return e->text;
    return FAILED(hr) ? "An unknown error occurred (" + Hex(hr) + ")." : "The operation succeeded (" + Hex(hr) + ").";
}

std::string HResultName(HRESULT hr)
{
    if (const Entry* e = Find(hr)) return e->name;
    return Hex(hr);
}

DWORD AMGetErrorTextA(HRESULT hr, char* buffer, DWORD maxLen)
{
    if (buffer == nullptr || maxLen == 0) return 0;
    const std::string text = ErrorText(hr);
    const std::size_t n = std::min<std::size_t>(text.size(), maxLen - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace kestrine::platform
