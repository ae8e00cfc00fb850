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
    undo_.earlierName = source_.filename().string();
    undo_.tailOffset = data.End();
    undo_.earlierSize = firstFile_->Size();
    if (undo_.tailOffset > undo_.earlierSize || undo_.earlierSize - undo_.tailOffset > kMaxTail)
        throw NotAppendable("what follows its packets is too large");

    fd_ = asf::UniqueFd(::open(source_.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd_.Valid()) throw NotAppendable(std::string("it cannot be written (") + std::strerror(errno) + ")");
    struct stat mine {}, read {}, folder {};
    if (::fstat(fd_.Get(), &mine) != 0 || ::fstat(firstFile_->Descriptor(), &read) != 0 || !SameFile(mine, read) ||
        !S_ISREG(mine.st_mode))
        throw NotAppendable("it changed while it was being read");
    if (mine.st_nlink != 1) throw NotAppendable("it has other names, which would see the change");
    if (static_cast<std::uint64_t>(mine.st_size) != undo_.earlierSize) throw NotAppendable("it changed while it was being read");
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

    undo_.earlierHead.resize(static_cast<std::size_t>(packetsAt_));
    undo_.earlierTail.resize(static_cast<std::size_t>(undo_.earlierSize - undo_.tailOffset));
    if (!ReadAllAt(fd_.Get(), undo_.earlierHead, 0) || !ReadAllAt(fd_.Get(), undo_.earlierTail, undo_.tailOffset))
        throw NotAppendable("it could not be read again");
    undo_.laterHead.reserve(undo_.earlierHead.size());
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
    return &file == firstFile_ && offset == size_ && offset >= packetsAt_ && size <= undo_.tailOffset - offset;
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
        } else if (size_ < undo_.tailOffset) {
            part = bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), undo_.tailOffset - size_)));
            ExpectSame(part);
        } else {
            WriteAfter(part);
        }
        size_ += part.size();
        bytes = bytes.subspan(part.size());
    }
}

void AppendedOutput::WriteHead(std::span<const std::uint8_t> bytes)
{
    undo_.laterHead.insert(undo_.laterHead.end(), bytes.begin(), bytes.end());
}

void AppendedOutput::ExpectSame(std::span<const std::uint8_t> bytes)
{
    if (undo_.laterHead.size() != packetsAt_) throw NotAppendable("the joined header is shorter than its own");
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
    if (undo_.laterHead.size() != packetsAt_) throw NotAppendable("the joined header is shorter than its own");
    changing_ = true;
    bufferAt_ = undo_.tailOffset;
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
        std::copy(bytes.begin(), bytes.end(), undo_.laterHead.begin() + static_cast<std::ptrdiff_t>(offset));
        return;
    }
    if (offset < undo_.tailOffset) throw std::logic_error("a patch of the first input's packets");
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
    undo_.laterSize = size_;
    try {
        asf::WriteAppendUndo(asf::AppendUndoPath(target_), undo_);
    } catch (const std::runtime_error& e) {
        throw OutputError(e.what());
    }
    recordWritten_ = true;
    Check();

    if (!WriteAllAt(fd_.Get(), undo_.laterHead, 0) || ::ftruncate(fd_.Get(), static_cast<off_t>(size_)) != 0 ||
        ::fsync(fd_.Get()) != 0)
        Fail("cannot write", errno);
    // A signal from here on ends the process only once the output is in place.
    Check();
    if (::rename(source_.c_str(), target_.c_str()) != 0) Fail("cannot rename", errno);
    committed_ = true;
    asf::SyncFolderOf(target_);
}

void AppendedOutput::Rollback() noexcept
{
    if (writer_) writer_->Wait();
    // Everything written went after the packets, the header last: put back what was there.
    if (changing_) asf::PutEarlierBack(fd_.Get(), undo_);
    if (recordWritten_) ::unlink(asf::AppendUndoPath(target_).c_str());
}

}  // namespace kestrine::cutter
