#include "cutter/AtomicOutputFile.h"

#include "asf/PositionedIo.h"
#include "cutter/SignalCleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrine::cutter {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// Copied ranges go to the kernel in steps of this, so the disk starts on them while the rest is read.
constexpr std::uint64_t kCopyChunk = 16u << 20;
constexpr std::uint64_t kMinKernelCopy = 256u << 10;

// ---- Naming ------------------------------------------------------------------------------------

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

// Cuts a name to at most `limit` bytes without splitting a UTF-8 sequence.
std::string ShortenName(const std::string& name, std::size_t limit)
{
    if (name.size() <= limit) return name;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

std::string RandomSuffix()
{
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           (static_cast<std::uint64_t>(::getpid()) << 32)};
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix.push_back(kAlphabet[generator() % (sizeof(kAlphabet) - 1)]);
    return suffix;
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::filesystem::path target, bool replaceExisting)
    : target_(std::move(target)), replaceExisting_(replaceExisting)
{
    buffer_.reserve(kBufferSize);  // before anything exists on disk that a throw would leave behind
    if (target_.empty()) throw OutputError("no output file name given");
    if (!target_.has_filename()) throw OutputError(Quoted(target_) + " names a directory, not a file");

    struct stat existing {};
    if (::lstat(target_.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) throw OutputError(Quoted(target_) + " is a directory");
        if (!replaceExisting_) throw OutputError(Quoted(target_) + " already exists (-y replaces it)");
    } else if (errno != ENOENT) {
        Fail("cannot check the output file " + Quoted(target_), errno);
    }

    const std::filesystem::path directory = target_.has_parent_path() ? target_.parent_path() : ".";
    // "." + name + "." + 8 random + ".part" must stay within the usual 255-byte name limit.
    const std::string stem = ShortenName(target_.filename().string(), 255 - 15);
    // A termination signal between creating the temporary and registering it for removal would
    // leave it behind; held back here, it is delivered once the temporary is registered.
    const CleanupSignalsBlocked blocked;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::filesystem::path candidate = directory / ("." + stem + "." + RandomSuffix() + ".part");
        // 0666 and the umask, as for any new file the user makes.
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = std::move(candidate);
        } else if (errno != EEXIST) {
            Fail("cannot create a file in " + Quoted(directory), errno);
        }
    }
    if (fd_ < 0) throw OutputError("cannot create a temporary file in " + Quoted(directory));

    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(temporary_, ec);
    signalSlot_ = RegisterTemporary(ec ? temporary_.c_str() : absolute.c_str());
}

AtomicOutputFile::~AtomicOutputFile()
{
    if (!committed_) Discard();
    UnregisterTemporary(signalSlot_);
}

void AtomicOutputFile::WaitForWrites()
{
    if (!writer_) return;
    if (const int error = writer_->Wait(&spare_)) Fail("cannot write " + Quoted(target_), error);
}

void AtomicOutputFile::Discard() noexcept
{
    if (writer_) writer_->Wait();  // nothing may still be writing to the file about to go
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    UnregisterTemporary(signalSlot_);
    signalSlot_ = -1;
    buffer_.clear();
    copySize_ = 0;
    failed_ = !committed_;
}

void AtomicOutputFile::CheckUsable() const
{
    if (committed_) throw std::logic_error("write to an output file after it was committed");
    if (failed_ || fd_ < 0) throw OutputError("cannot write " + Quoted(target_) + ": an earlier write failed");
}

void AtomicOutputFile::Fail(const std::string& action, int error)
{
    failed_ = true;
    throw OutputError(action + ": " + std::strerror(error));
}

void AtomicOutputFile::WriteFully(const std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const std::size_t chunk = std::min<std::size_t>(size, 1u << 30);
        const ssize_t n = ::pwrite(fd_, data, chunk, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write " + Quoted(target_), errno);
        }
        if (n == 0) Fail("cannot write " + Quoted(target_), ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void AtomicOutputFile::StartWriteback(std::uint64_t offset, std::size_t size)
{
    // The disk starts on what was written while the rest is still being made, so the sync in
    // Commit finds little left to do. Only a hint: a failure here shows again in that sync.
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)size;
#endif
}

void AtomicOutputFile::Flush()
{
    if (buffer_.empty()) return;
    // The full buffer is written on another thread while the next one fills; its errors surface at
    // the next flush, patch or commit.
    WaitForWrites();
    if (!writer_) writer_ = std::make_unique<AsyncFileWriter>();
    const std::size_t size = buffer_.size();
    writer_->Start(fd_, std::move(buffer_), flushed_);
    flushed_ += size;
    buffer_ = std::move(spare_);
    buffer_.clear();
    buffer_.reserve(kBufferSize);
}

void AtomicOutputFile::CopyRange(int fd, std::uint64_t offset, std::uint64_t size)
{
    CheckUsable();
    if (copySize_ > 0 && (fd != copyFd_ || offset != copyFrom_ + copySize_ || copySize_ >= kCopyChunk)) FlushCopy();
    if (copySize_ == 0) {
        copyFd_ = fd;
        copyFrom_ = offset;
    }
    copySize_ += size;
}

void AtomicOutputFile::FlushCopy()
{
    if (copySize_ == 0) return;
    const std::uint64_t from = copyFrom_, size = copySize_;
    copySize_ = 0;
    if (size < kMinKernelCopy) {
        // Too short to be worth a call of its own (files whose packets change only here and there):
        // read into the buffer, which is written on the other thread as usual.
        for (std::uint64_t done = 0; done < size;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, kBufferSize));
            const std::size_t old = buffer_.size();
            buffer_.resize(old + want);
            const ssize_t got = ::pread(copyFd_, buffer_.data() + old, want, static_cast<off_t>(from + done));
            const int error = errno;
            buffer_.resize(old + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
            if (got < 0 && error == EINTR) continue;
            if (got < 0) Fail("cannot read what goes into " + Quoted(target_), error);
            if (got == 0) Fail("cannot read what goes into " + Quoted(target_), EIO);
            done += static_cast<std::uint64_t>(got);
            if (buffer_.size() >= kBufferSize) Flush();
        }
        return;
    }
    // Copied on the writer's thread, like a buffer, while the next packets are read; its errors
    // surface at the next flush, patch or commit.
    Flush();
    WaitForWrites();
    if (!writer_) writer_ = std::make_unique<AsyncFileWriter>();
    writer_->StartCopy(fd_, copyFd_, from, size, flushed_);
    flushed_ += size;
}

void AtomicOutputFile::Write(std::span<const std::uint8_t> bytes)
{
    CheckUsable();
    FlushCopy();
    if (bytes.size() > kBufferSize - buffer_.size()) {
        Flush();
        if (bytes.size() >= kBufferSize) {
            WaitForWrites();
            WriteFully(bytes.data(), bytes.size(), flushed_);
            StartWriteback(flushed_, bytes.size());
            flushed_ += bytes.size();
            return;
        }
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void AtomicOutputFile::Write(const void* data, std::size_t size)
{
    Write(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
}

void AtomicOutputFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    CheckUsable();
    FlushCopy();
    if (offset > Size() || bytes.size() > Size() - offset)
        throw std::out_of_range("WriteAt past the bytes written to " + Quoted(target_));
    // The part already on disk is rewritten there, the part still buffered is patched in memory.
    const std::size_t onDisk =
        offset >= flushed_ ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), flushed_ - offset));
    if (onDisk > 0) {
        WaitForWrites();
        WriteFully(bytes.data(), onDisk, offset);
    }
    if (onDisk < bytes.size()) {
        const std::size_t at = static_cast<std::size_t>(offset + onDisk - flushed_);
        std::memcpy(buffer_.data() + at, bytes.data() + onDisk, bytes.size() - onDisk);
    }
}

void AtomicOutputFile::Commit()
{
    CheckUsable();
    FlushCopy();
    Flush();
    WaitForWrites();
    if (::fsync(fd_) != 0) Fail("cannot write " + Quoted(target_), errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("cannot write " + Quoted(target_), errno);

    if (replaceExisting_) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0)
            Fail("cannot put " + Quoted(target_) + " in place", errno);
    } else {
        // Refuse to replace a file that appeared since the start. Where the file system lacks an
        // exclusive rename, a hard link gives the same guarantee.
        if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0) {
            const int error = errno;
            if (error == EEXIST) Fail("cannot put " + Quoted(target_) + " in place", EEXIST);
            if (error != EINVAL && error != ENOSYS) Fail("cannot put " + Quoted(target_) + " in place", error);
            if (::link(temporary_.c_str(), target_.c_str()) == 0) {
                ::unlink(temporary_.c_str());
            } else {
                const int linkError = errno;
                // Without hard links either (FAT and the like), check and rename: the window is tiny.
                if (linkError != EPERM && linkError != EOPNOTSUPP)
                    Fail("cannot put " + Quoted(target_) + " in place", linkError);
                struct stat existing {};
                if (::lstat(target_.c_str(), &existing) == 0) Fail("cannot put " + Quoted(target_) + " in place", EEXIST);
                if (::rename(temporary_.c_str(), target_.c_str()) != 0)
                    Fail("cannot put " + Quoted(target_) + " in place", errno);
            }
        }
    }
    committed_ = true;
    UnregisterTemporary(signalSlot_);
    signalSlot_ = -1;

    asf::SyncFolderOf(target_);
}

}  // namespace kestrine::cutter
