#include "cutter/AsyncFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrine::cutter {

namespace {

int WriteAll(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const std::size_t chunk = std::min<std::size_t>(size, 1u << 30);
        const ssize_t n = ::pwrite(fd, data, chunk, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return 0;
}

}  // namespace

AsyncFileWriter::~AsyncFileWriter()
{
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void AsyncFileWriter::Start(int fd, std::vector<std::uint8_t> bytes, std::uint64_t offset)
{
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        fd_ = fd;
        offset_ = offset;
        bytes_ = std::move(bytes);
        error_ = 0;
        busy_ = true;
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    changed_.notify_all();
}

int AsyncFileWriter::Wait(std::vector<std::uint8_t>* reclaimed)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    if (reclaimed) *reclaimed = std::move(bytes_);
    bytes_.clear();
    const int error = error_;
    error_ = 0;
    return error;
}

void AsyncFileWriter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || stopping_; });
        if (!busy_) return;  // stopping with nothing to do
        const int fd = fd_;
        const std::uint64_t offset = offset_;
        std::vector<std::uint8_t> bytes = std::move(bytes_);
        lock.unlock();
        const int error = WriteAll(fd, bytes.data(), bytes.size(), offset);
#ifdef SYNC_FILE_RANGE_WRITE
        // The disk starts on it now, so the final sync finds little left. Only a hint.
        if (error == 0) ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(bytes.size()), SYNC_FILE_RANGE_WRITE);
#endif
        lock.lock();
        bytes_ = std::move(bytes);
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace kestrine::cutter
