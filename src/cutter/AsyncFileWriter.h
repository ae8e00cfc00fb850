#pragma once
// Writes one buffer at a time to a file descriptor on a thread of its own, so that making the next
// buffer and writing the last one overlap; or copies a range of another file there. Used by
// AtomicOutputFile; errors come back from Wait().
//
//   AsyncFileWriter writer;
//   writer.Start(fd, std::move(bytes), offset);     // returns at once
//   ... fill the next buffer ...
//   int error = writer.Wait(&reusable);              // 0, or the errno of the failed write
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrine::cutter {

class AsyncFileWriter {
public:
    AsyncFileWriter() = default;
    ~AsyncFileWriter();
    AsyncFileWriter(const AsyncFileWriter&) = delete;
    AsyncFileWriter& operator=(const AsyncFileWriter&) = delete;

    // Waits for the write in flight, then starts writing `bytes` at `offset`. After a successful
    // write the kernel is asked to begin sending that range to disk.
    void Start(int fd, std::vector<std::uint8_t> bytes, std::uint64_t offset);
    // Waits for the job in flight, then starts copying `size` bytes of the file open as `from` at
    // `fromOffset` to `fd` at `offset` (CopyRange below).
    void StartCopy(int fd, int from, std::uint64_t fromOffset, std::uint64_t size, std::uint64_t offset);
    // Waits for the write in flight. Returns 0 or its errno (ENOSPC for a write that made no
    // progress); hands its buffer back through `reclaimed` for reuse.
    int Wait(std::vector<std::uint8_t>* reclaimed = nullptr);

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool busy_ = false;
    bool stopping_ = false;
    int fd_ = -1;
    std::uint64_t offset_ = 0;
    std::vector<std::uint8_t> bytes_;
    int copyFrom_ = -1;  // a copy job when 0 or more
    std::uint64_t copyFromOffset_ = 0;
    std::uint64_t copySize_ = 0;
    int error_ = 0;
};

// Copies `size` bytes of `in` at `from` to `out` at `at`: the whole 4096-byte blocks within the kernel
// (copy_file_range, which shares them where the file system can and both ranges sit alike within
// blocks), the partial ones at the ends, and everything where the kernel refuses, read and written.
// Returns 0 or an errno (EIO when the input ends early).
int CopyRange(int in, std::uint64_t from, int out, std::uint64_t at, std::uint64_t size);

}  // namespace kestrine::cutter
