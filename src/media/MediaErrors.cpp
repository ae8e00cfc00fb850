#include "media/MediaErrors.h"

#include "platform/com/ErrorText.h"

#include <cstdio>

namespace kestrine::media {

std::string MediaResultMessage(HRESULT result)
{
    char text[255] = {};
    platform::AMGetErrorTextA(result, text, sizeof text);
    char code[16] = {};
    std::snprintf(code, sizeof code, "%X", static_cast<unsigned>(static_cast<std::uint32_t>(result)));
    return std::string(text) + " ($" + code + ").";
}

EDirectShowException::EDirectShowException(HRESULT result) : std::runtime_error(MediaResultMessage(result)), ResultCode(result) {}

EDirectShowException::EDirectShowException(const std::string& message, HRESULT result)
    : std::runtime_error(message), ResultCode(result)
{
}

EMediaGraphException::EMediaGraphException(const std::string& message, HRESULT result)
    : std::runtime_error(message), ResultCode(result)
{
}

EMediaGraphException EMediaGraphException::FromResult(HRESULT result) { return EMediaGraphException(MediaResultMessage(result), result); }

EInvalidCast::EInvalidCast() : std::runtime_error("The item does not offer the interface asked of it.") {}

HRESULT CheckMediaResult(HRESULT result)
{
    if (platform::FAILED(result)) throw EDirectShowException(result);
    return result;
}

}  // namespace kestrine::media
