#pragma once
// The media layer's exceptions: a failing platform result becomes an exception that carries the
// platform's text and the result itself, so the error box can show both and callers can branch.
#include "platform/com/HResult.h"

#include <stdexcept>
#include <string>

namespace kestrine::media {

using platform::HRESULT;

// A failing result of a graph, filter or pin call.
class EDirectShowException : public std::runtime_error {
public:
    // Message: the platform's text for the result, then " ($XXXXXXXX).".
    explicit EDirectShowException(HRESULT result);
    EDirectShowException(const std::string& message, HRESULT result);
    HRESULT ResultCode = 0;
};

// A failure of the media layer's own (a renderer set-up that cannot go on), with or without a result.
class EMediaGraphException : public std::runtime_error {
public:
    explicit EMediaGraphException(const std::string& message, HRESULT result = 0);
    // Same form as EDirectShowException's message.
    static EMediaGraphException FromResult(HRESULT result);
    HRESULT ResultCode = 0;
};

// An item of an interface list was asked for an interface it does not offer.
class EInvalidCast : public std::runtime_error {
public:
    EInvalidCast();
};

// The platform's text for a result (at most 254 characters) followed by " ($XXXXXXXX)." in upper-case hex.
std::string MediaResultMessage(HRESULT result);

// Success codes (S_OK, S_FALSE and the other non-negative ones) come back unchanged; a failure raises
// EDirectShowException.
HRESULT CheckMediaResult(HRESULT result);

}  // namespace kestrine::media
