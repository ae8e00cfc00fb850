#include "cutter/AsyncFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

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

// Returns how far it got: `size` or less when the kernel refuses; -errno on another failure.
std::int64_t KernelCopy(int in, std::uint64_t from, int out, std::uint64_t at, std::uint64_t size)
{
    std::uint64_t done = 0;
    while (done < size) {
        loff_t inAt = static_cast<loff_t>(from + done), outAt = static_cast<loff_t>(at + done);
        const ssize_t n = ::copy_file_range(in, &inAt, out, &outAt, static_cast<std::size_t>(std::min<std::uint64_t>(size - done, 1u << 30)), 0);
        if (n > 0) {
            done += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF &&
            errno != ETXTBSY)
            return -errno;
        break;  // refused between these files (or the input ended): the rest is read and written
    }
    return static_cast<std::int64_t>(done);
}

int ReadAndWrite(int in, std::uint64_t from, int out, std::uint64_t at, std::uint64_t size)
{
    std::vector<std::uint8_t> bounce(static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 20)));
    while (size > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, bounce.size()));
        const ssize_t got = ::pread(in, bounce.data(), want, static_cast<off_t>(from));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) return EIO;
        if (const int error = WriteAll(out, bounce.data(), static_cast<std::size_t>(got), at)) return error;
        from += static_cast<std::uint64_t>(got);
        at += static_cast<std::uint64_t>(got);
        size -= static_cast<std::uint64_t>(got);
    }
    return 0;
}

}  // namespace

int CopyRange(int in, std::uint64_t from, int out, std::uint64_t at, std::uint64_t size)
{
    constexpr std::uint64_t kBlock = 4096;
    std::uint64_t head = 0, whole = size;
    if (from % kBlock == at % kBlock) {
        head = std::min(size, (kBlock - from % kBlock) % kBlock);
        whole = (size - head) / kBlock * kBlock;
    }
    if (const int error = ReadAndWrite(in, from, out, at, head)) return error;
    const std::int64_t copied = KernelCopy(in, from + head, out, at + head, whole);
    if (copied < 0) return static_cast<int>(-copied);
    const std::uint64_t done = head + static_cast<std::uint64_t>(copied);
    return ReadAndWrite(in, from + done, out, at + done, size - done);
}

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
        copyFrom_ = -1;
        error_ = 0;
        busy_ = true;
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    changed_.notify_all();
}

void AsyncFileWriter::StartCopy(int fd, int from, std::uint64_t fromOffset, std::uint64_t size, std::uint64_t offset)
{
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
        fd_ = fd;
        offset_ = offset;
        copyFrom_ = from;
        copyFromOffset_ = fromOffset;
        copySize_ = size;
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
        const int from = copyFrom_;
        const std::uint64_t fromOffset = copyFromOffset_;
        std::vector<std::uint8_t> bytes = std::move(bytes_);
        const std::uint64_t size = from >= 0 ? copySize_ : bytes.size();
        lock.unlock();
        const int error = from >= 0 ? CopyRange(from, fromOffset, fd, offset, size) : WriteAll(fd, bytes.data(), bytes.size(), offset);
#ifdef SYNC_FILE_RANGE_WRITE
        // The disk starts on it now, so the final sync finds little left. Only a hint.
        if (error == 0) ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#endif
        lock.lock();
        bytes_ = std::move(bytes);
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace kestrine::cutter
