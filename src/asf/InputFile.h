#pragma once
// A read-only file handle (RAII) with positioned reads. Errors throw FormatError with a message
// fit for "Error: <file>: <message>" ("No such file or directory", "is a directory", ...).
#include <cstdint>
#include <filesystem>
#include <span>

namespace kestrine::asf {

class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::uint64_t Size() const { return size_; }
    int Descriptor() const { return fd_; }
    // Reads up to out.size() bytes at `offset`; returns how many were read (fewer only at the end).
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Reads exactly out.size() bytes or throws FormatError naming `what` as truncated.
    void ReadExactlyAt(std::uint64_t offset, std::span<std::uint8_t> out, const char* what) const;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace kestrine::asf
