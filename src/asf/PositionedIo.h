#pragma once
// Whole reads and writes at a file offset, retried across interruptions and short transfers, and
// the sync that makes a rename stick.
#include <cstdint>
#include <filesystem>
#include <span>

namespace kestrine::asf {

// False when the file ends first (errno 0) or on an error (errno says which).
bool ReadAllAt(int fd, std::span<std::uint8_t> out, std::uint64_t offset);
// False on an error, errno saying which (ENOSPC for a write that made no progress).
bool WriteAllAt(int fd, std::span<const std::uint8_t> bytes, std::uint64_t offset);

// Makes a rename into or within the folder of `file` durable; a folder that cannot be synced is no
// reason to fail, so nothing is reported.
void SyncFolderOf(const std::filesystem::path& file);

}  // namespace kestrine::asf
