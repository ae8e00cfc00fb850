#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kestrine::platform {

// True when the path names something that is not a directory (a file, a device, a link to one).
bool FileExists(const std::string& path);

// The size of the file at `path` (links followed); nothing when it cannot be read.
std::optional<std::uint64_t> FileSize(const std::string& path);

// Whether both paths name the same existing file or directory (links followed).
bool SameFile(const std::string& a, const std::string& b);

// Removes one file. False when it did not exist or could not be removed.
bool DeleteFile(const std::string& path);

// Copies the bytes of `from` to `to`. With failIfExists an existing `to` is left alone and the call
// fails; otherwise it is replaced. The copy is written beside the target under a temporary name and
// renamed into place only when complete, so a failed copy never leaves a partial or clobbered file.
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);

}  // namespace kestrine::platform
