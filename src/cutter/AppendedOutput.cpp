#include "cutter/AppendedOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "asf/FormatError.h"
#include "asf/PositionedIo.h"
#include "cutter/AtomicOutputFile.h"

namespace kestrine::cutter {

using asf::ReadAllAt;
using asf::WriteAllAt;

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
// The bytes after the packets are the index: saved in memory and in the record.
constexpr std::uint64_t kMaxTail = 16u << 20;

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

AppendedOutput::AppendedOutput(const asf::AsfFile& first, const std::vector<std::string>& others,
                               std::filesystem::path target, bool replaceExisting)
    : firstFile_(&first.File()), source_(first.Path()), target_(std::move(target)), replaceExisting_(replaceExisting)
{
    const asf::DataObjectInfo& data = first.Data();
    if (!data.sizeKnown || data.truncated || data.trailingBytes != 0 || data.packetCount == 0)
        throw NotAppendable("its packets' extent is not known exactly");
    packetsAt_ = data.packetsOffset;
    tailAt_ = data.End();
    earlierSize_ = firstFile_->Size();
    if (tailAt_ > earlierSize_ || earlierSize_ - tailAt_ > kMaxTail) throw NotAppendable("what follows its packets is too large");

    fd_ = asf::UniqueFd(::open(source_.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd_.Valid()) throw NotAppendable(std::string("it cannot be written (") + std::strerror(errno) + ")");
    struct stat mine {}, read {}, folder {};
    if (::fstat(fd_.Get(), &mine) != 0 || ::fstat(firstFile_->Descriptor(), &read) != 0 || !SameFile(mine, read) ||
        !S_ISREG(mine.st_mode))
        throw NotAppendable("it changed while it was being read");
    if (mine.st_nlink != 1) throw NotAppendable("it has other names, which would see the change");
    if (static_cast<std::uint64_t>(mine.st_size) != earlierSize_) throw NotAppendable("it changed while it was being read");
    for (const std::string& other : others) {
        struct stat st {};
        if (::stat(other.c_str(), &st) == 0 && SameFile(st, mine)) throw NotAppendable("it is also a later input");
    }
    const std::filesystem::path folderPath = target_.has_parent_path() ? target_.parent_path() : ".";
    if (::stat(folderPath.c_str(), &folder) != 0 || folder.st_dev != mine.st_dev)
        throw NotAppendable("the output's folder is on another file system");
    struct stat existing {};
    if (::lstat(target_.c_str(), &existing) == 0 && (!replaceExisting_ || !S_ISREG(existing.st_mode)))
        throw NotAppendable("the output exists");

    earlierHead_.resize(static_cast<std::size_t>(packetsAt_));
    earlierTail_.resize(static_cast<std::size_t>(earlierSize_ - tailAt_));
    if (!ReadAllAt(fd_.Get(), earlierHead_, 0) || !ReadAllAt(fd_.Get(), earlierTail_, tailAt_))
        throw NotAppendable("it could not be read again");
    head_.reserve(earlierHead_.size());
    buffer_.reserve(kBufferSize);
}

AppendedOutput::~AppendedOutput()
{
    if (!committed_) Rollback();
}

void AppendedOutput::Fail(const std::string& action, int error) const
{
    throw OutputError(action + " " + Quoted(source_) + ": " + std::strerror(error));
}

void AppendedOutput::Check() const
{
    if (const int sig = hold_.Pending())
        throw OutputError("ended by signal " + std::to_string(sig) + "; " + Quoted(source_) + " was put back as it was");
}

bool AppendedOutput::InPlace(const asf::InputFile& file, std::uint64_t offset, std::uint64_t size) const
{
    return &file == firstFile_ && offset == size_ && offset >= packetsAt_ && size <= tailAt_ - offset;
}

void AppendedOutput::Write(std::span<const std::uint8_t> bytes)
{
    Check();
    while (!bytes.empty()) {
        std::span<const std::uint8_t> part = bytes;
        if (size_ < packetsAt_) {
            // The header must end exactly where the first input's did, or its packets would move.
            if (bytes.size() > packetsAt_ - size_) throw NotAppendable("the joined header is longer than its own");
            WriteHead(part);
        } else if (size_ < tailAt_) {
            part = bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), tailAt_ - size_)));
            ExpectSame(part);
        } else {
            WriteAfter(part);
        }
        size_ += part.size();
        bytes = bytes.subspan(part.size());
    }
}

void AppendedOutput::WriteHead(std::span<const std::uint8_t> bytes) { head_.insert(head_.end(), bytes.begin(), bytes.end()); }

void AppendedOutput::ExpectSame(std::span<const std::uint8_t> bytes)
{
    if (head_.size() != packetsAt_) throw NotAppendable("the joined header is shorter than its own");
    std::vector<std::uint8_t> there(bytes.size());
    if (!ReadAllAt(fd_.Get(), there, size_)) Fail("cannot read", errno ? errno : EIO);
    if (!std::equal(there.begin(), there.end(), bytes.begin()))
        throw NotAppendable("its packets would not stay as they are");
}

void AppendedOutput::WriteAfter(std::span<const std::uint8_t> bytes)
{
    if (!changing_) BeginChanging();
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= kBufferSize) Flush();
}

void AppendedOutput::BeginChanging()
{
    // From here on the first input is no longer itself until Commit() or Rollback().
    if (head_.size() != packetsAt_) throw NotAppendable("the joined header is shorter than its own");
    changing_ = true;
    bufferAt_ = tailAt_;
}

void AppendedOutput::Flush()
{
    // As for any output: the full buffer is written on another thread while the next one fills.
    if (buffer_.empty()) return;
    WaitForWrites();
    if (!writer_) writer_ = std::make_unique<AsyncFileWriter>();
    const std::size_t size = buffer_.size();
    writer_->Start(fd_.Get(), std::move(buffer_), bufferAt_);
    bufferAt_ += size;
    buffer_ = std::move(spare_);
    buffer_.clear();
    buffer_.reserve(kBufferSize);
}

void AppendedOutput::WaitForWrites()
{
    if (!writer_) return;
    if (const int error = writer_->Wait(&spare_)) Fail("cannot write", error);
}

void AppendedOutput::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    Check();
    if (offset > size_ || bytes.size() > size_ - offset) throw std::out_of_range("WriteAt beyond what was written");
    if (offset < packetsAt_) {
        if (bytes.size() > packetsAt_ - offset) throw std::logic_error("a patch across the first packet");
        std::copy(bytes.begin(), bytes.end(), head_.begin() + static_cast<std::ptrdiff_t>(offset));
        return;
    }
    if (offset < tailAt_) throw std::logic_error("a patch of the first input's packets");
    if (offset >= bufferAt_) {
        std::copy(bytes.begin(), bytes.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(offset - bufferAt_));
        return;
    }
    Flush();
    WaitForWrites();
    if (!WriteAllAt(fd_.Get(), bytes, offset)) Fail("cannot write", errno);
}

void AppendedOutput::WriteCopyOf(std::span<const std::uint8_t> bytes, const asf::InputFile& file, std::uint64_t offset)
{
    Check();
    if (InPlace(file, offset, bytes.size()))
        size_ += bytes.size();  // already there
    else
        Write(bytes);
}

void AppendedOutput::WriteRangeOf(const asf::InputFile& file, std::uint64_t offset, std::uint64_t size)
{
    Check();
    if (InPlace(file, offset, size))
        size_ += size;
    else
        OutputSink::WriteRangeOf(file, offset, size);
}

void AppendedOutput::Commit()
{
    Check();
    if (!changing_) BeginChanging();
    Flush();
    WaitForWrites();
    if (::fdatasync(fd_.Get()) != 0) Fail("cannot write", errno);

    // The record first: from the moment the header changes, the earlier file can come back only by it.
    asf::AppendUndo undo;
    undo.earlierName = source_.filename().string();
    undo.earlierSize = earlierSize_;
    undo.earlierHead = earlierHead_;
    undo.tailOffset = tailAt_;
    undo.earlierTail = earlierTail_;
    undo.laterSize = size_;
    undo.laterHead = head_;
    try {
        asf::WriteAppendUndo(asf::AppendUndoPath(target_), undo);
    } catch (const std::runtime_error& e) {
        throw OutputError(e.what());
    }
    recordWritten_ = true;
    Check();

    if (!WriteAllAt(fd_.Get(), head_, 0) || ::ftruncate(fd_.Get(), static_cast<off_t>(size_)) != 0 ||
        ::fsync(fd_.Get()) != 0)
        Fail("cannot write", errno);
    // A signal from here on ends the process only once the output is in place.
    Check();
    if (::rename(source_.c_str(), target_.c_str()) != 0) Fail("cannot rename", errno);
    committed_ = true;
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    asf::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) ::fsync(dir.Get());
}

void AppendedOutput::Rollback() noexcept
{
    if (writer_) writer_->Wait();
    if (changing_) {
        // Everything written went after the packets, the header last: put back what was there.
        WriteAllAt(fd_.Get(), earlierTail_, tailAt_);
        (void)::ftruncate(fd_.Get(), static_cast<off_t>(earlierSize_));
        WriteAllAt(fd_.Get(), earlierHead_, 0);
        ::fsync(fd_.Get());
    }
    if (recordWritten_) ::unlink(asf::AppendUndoPath(target_).c_str());
}

}  // namespace kestrine::cutter
