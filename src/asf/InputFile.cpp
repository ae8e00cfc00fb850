#include "asf/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "asf/FormatError.h"

namespace kestrine::asf {

InputFile::InputFile(const std::filesystem::path& path)
{
    // O_NONBLOCK so that a FIFO or device given by mistake cannot block the open; it is refused below.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) throw FormatError(std::strerror(errno));
    struct stat st{};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw FormatError(std::strerror(err));
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw FormatError("is a directory, not a media file");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw FormatError("is not a regular file");
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    if (int fl = ::fcntl(fd_, F_GETFL); fl >= 0) ::fcntl(fd_, F_SETFL, fl & ~O_NONBLOCK);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

InputFile::~InputFile()
{
    if (fd_ >= 0) ::close(fd_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FormatError(std::string("read failed: ") + std::strerror(errno));
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void InputFile::ReadExactlyAt(std::uint64_t offset, std::span<std::uint8_t> out, const char* what) const
{
    if (ReadAt(offset, out) != out.size()) throw FormatError(std::string(what) + " is truncated");
}

}  // namespace kestrine::asf
