#pragma once
#include <string>

namespace kestrine::platform {

// True when the path names something that is not a directory (a file, a device, a link to one).
bool FileExists(const std::string& path);

// Removes one file. False when it did not exist or could not be removed.
bool DeleteFile(const std::string& path);

// Copies the bytes of `from` to `to`. With failIfExists an existing `to` is left alone and the call
// fails; otherwise it is replaced. The copy is written beside the target under a temporary name and
// renamed into place only when complete, so a failed copy never leaves a partial or clobbered file.
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);

}  // namespace kestrine::platform
