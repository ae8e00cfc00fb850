#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kestrine::platform {

// Bytes an unprivileged user can still write on the file system holding `path` (or, when `path`
// does not exist yet, its nearest existing parent). Nothing when it cannot be told.
std::optional<std::uint64_t> AvailableBytes(const std::string& path);

// Whether the file system holding `path` (or its nearest existing parent) keeps its files in memory
// (tmpfs, ramfs), where large files take memory and room is scarce.
bool IsInMemoryFileSystem(const std::string& path);

}  // namespace kestrine::platform
