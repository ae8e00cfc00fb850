#pragma once
// An output file that appears complete or not at all.
//
//   AtomicOutputFile out(target, /*replaceExisting=*/args.overwrite);   // throws OutputError
//   out.Write(headerBytes);                    // buffered, throws OutputError on ENOSPC, EFBIG, EIO ...
//   ... out.Write(packet) ...
//   out.WriteAt(sizeFieldOffset, patchedBytes);  // fix up fields known only at the end
//   out.Commit();                              // fsync, then rename over the target
//
// The bytes go to a hidden temporary file in the target's directory. Until Commit() the target
// is untouched (an existing one keeps its content); destroying the object without Commit(), any
// failure, and SIGINT, SIGTERM, SIGHUP or SIGPIPE remove the temporary.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "cutter/AsyncFileWriter.h"

namespace kestrine::cutter {

// A failure to create, write or finish an output file. what() names the file and the reason,
// e.g. cannot write "/v/out.wmv": No space left on device
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class AtomicOutputFile {
public:
    // Throws OutputError when the target exists and replaceExisting is false, when the target is a
    // directory, or when no file can be created in its directory.
    AtomicOutputFile(std::filesystem::path target, bool replaceExisting);
    ~AtomicOutputFile();

    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // Appends. Throws OutputError on a write error; the object is then failed and can only be destroyed.
    void Write(std::span<const std::uint8_t> bytes);
    void Write(const void* data, std::size_t size);
    // Overwrites bytes already written, [offset, offset + size) within Size(). Throws std::out_of_range
    // for bytes not written yet, OutputError on a write error.
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Appends `size` bytes of the file open as `fd` from `offset`. Adjacent ranges are gathered and
    // copied within the kernel (copy_file_range: shared blocks where the file system has them), or
    // read and written where it refuses; gathered ranges too short for that are read into the
    // buffer. Throws OutputError on a failure of either file.
    void CopyRange(int fd, std::uint64_t offset, std::uint64_t size);

    // Bytes written so far.
    std::uint64_t Size() const { return flushed_ + buffer_.size() + copySize_; }

    // Flushes, syncs the data to disk and renames the temporary onto the target. Without permission
    // to replace, a target that appeared meanwhile is not replaced (OutputError). Any failure leaves
    // the target as it was.
    void Commit();
    // Removes the temporary at once (also done by the destructor when not committed).
    void Discard() noexcept;

    bool Committed() const { return committed_; }
    const std::filesystem::path& Target() const { return target_; }
    const std::filesystem::path& TemporaryPath() const { return temporary_; }

private:
    void Flush();
    void FlushCopy();
    void StartWriteback(std::uint64_t offset, std::size_t size);
    void WaitForWrites();
    void WriteFully(const std::uint8_t* data, std::size_t size, std::uint64_t offset);
    [[noreturn]] void Fail(const std::string& action, int error);
    void CheckUsable() const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    bool replaceExisting_ = false;
    int fd_ = -1;
    int signalSlot_ = -1;  // where the signal handlers find the temporary's path, -1 if not registered
    std::uint64_t flushed_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> spare_;           // the buffer written last, reused for the next
    std::unique_ptr<AsyncFileWriter> writer_;   // made at the first flush
    // A range of another file still to be copied to the end, after buffer_.
    int copyFd_ = -1;
    std::uint64_t copyFrom_ = 0;
    std::uint64_t copySize_ = 0;
    bool committed_ = false;
    bool failed_ = false;
};

}  // namespace kestrine::cutter
