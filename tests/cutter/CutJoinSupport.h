#pragma once
// Helpers for the cut, join and copy tests: running asfbin.exe and reading results with ffmpeg.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "asf/Remuxer.h"
#include "support/TestMedia.h"

namespace kestrine::cutter::testing {

// One demuxed packet as ffprobe lists it, with the checksum of its data (no decoding is involved).
struct Frame {
    int stream = 0;
    long long ptsMs = 0;  // ASF time base is 1 ms; the decode time where the reader gives no presentation time
    long long size = 0;
    bool key = false;
    std::string hash;
    std::size_t order = 0;  // place in the file's packet order, over all streams
};

// Every packet of every stream, grouped by stream index, in file order, with the file's own times.
std::map<int, std::vector<Frame>> FramesOf(const std::filesystem::path& file);

test::ProgramResult RunAsfbin(const std::vector<std::string>& args);

// ffmpeg decodes the whole file with -xerror and reports nothing.
void ExpectDecodesCleanly(const std::filesystem::path& file);

// ffprobe's duration of the first stream (which is what an ASF file's play duration gives), seconds.
double ProbeStreamDuration(const std::filesystem::path& file);

// Keyframe times (ms) of the first video stream, from ffprobe.
std::vector<long long> KeyframesMs(const std::filesystem::path& file);

// Remux output kept in memory.
class MemorySink : public asf::OutputSink {
public:
    void Write(std::span<const std::uint8_t> b) override { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void WriteAt(std::uint64_t at, std::span<const std::uint8_t> b) override
    {
        std::copy(b.begin(), b.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    std::uint64_t Size() const override { return bytes.size(); }
    std::vector<std::uint8_t> bytes;
};

// The bytes of a written file with what differs on every run (its file ID and creation date) zeroed.
std::vector<std::uint8_t> WithoutRunIdentity(std::vector<std::uint8_t> bytes, const asf::Guid& fileId);

// The names in a directory, sorted (to see that nothing stray was left behind).
std::vector<std::string> DirectoryNames(const std::filesystem::path& dir);

}  // namespace kestrine::cutter::testing
