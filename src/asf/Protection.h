#pragma once
// Whether a file's media are protected by a rights management system.
#include <optional>
#include <string>

#include "asf/HeaderObjects.h"

namespace kestrine::asf {

// What marks the media as protected ("Content Encryption Object", "stream 2 is encrypted"), or nullopt.
std::optional<std::string> ProtectionOf(const Header& header);

}  // namespace kestrine::asf
