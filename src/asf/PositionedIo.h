#pragma once
// Whole reads and writes at a file offset, retried across interruptions and short transfers.
#include <cstdint>
#include <span>

namespace kestrine::asf {

// False when the file ends first (errno 0) or on an error (errno says which).
bool ReadAllAt(int fd, std::span<std::uint8_t> out, std::uint64_t offset);
// False on an error, errno saying which (ENOSPC for a write that made no progress).
bool WriteAllAt(int fd, std::span<const std::uint8_t> bytes, std::uint64_t offset);

}  // namespace kestrine::asf
