#include "CutJoinSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "asf/KnownGuids.h"
#include "support/TestPaths.h"

namespace kestrine::cutter::testing {

std::map<int, std::vector<Frame>> FramesOf(const std::filesystem::path& file)
{
    const test::ProgramResult r = test::RunProgram(
        "ffprobe", {"-v", "error", "-show_data_hash", "md5", "-show_entries",
                    "packet=stream_index,pts,dts,size,flags,data_hash", "-of", "csv=p=0", file.string()});
    EXPECT_EQ(r.exitCode, 0) << file << ": " << r.err;
    std::map<int, std::vector<Frame>> frames;
    std::istringstream in(r.out);
    std::size_t order = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string stream, pts, dts, size, flags, hash;
        for (std::string* field : {&stream, &pts, &dts, &size, &flags, &hash}) std::getline(fields, *field, ',');
        if (hash.empty()) continue;
        Frame f;
        f.stream = std::stoi(stream);
        // The reader gives no presentation times for video with B-frames; its decode times stand in.
        f.ptsMs = std::stoll(pts == "N/A" ? dts : pts);
        f.size = std::stoll(size);
        f.key = flags.find('K') != std::string::npos;
        f.hash = hash;
        f.order = order++;
        frames[f.stream].push_back(f);
    }
    return frames;
}

test::ProgramResult RunAsfbin(const std::vector<std::string>& args)
{
    return test::RunProgram((test::BinDir() / "asfbin.exe").string(), args, 300);
}

void ExpectDecodesCleanly(const std::filesystem::path& file)
{
    const test::ProgramResult r =
        test::RunProgram("ffmpeg", {"-v", "error", "-xerror", "-i", file.string(), "-f", "null", "-"});
    EXPECT_EQ(r.exitCode, 0) << file;
    EXPECT_EQ(r.err, "") << file;
}

double ProbeStreamDuration(const std::filesystem::path& file)
{
    const test::ProgramResult r = test::RunProgram(
        "ffprobe", {"-v", "error", "-show_entries", "stream=duration", "-of", "csv=p=0", file.string()});
    std::istringstream in(r.out);
    std::string first;
    std::getline(in, first);
    try {
        return std::stod(first);
    } catch (const std::exception&) {
        return -1.0;
    }
}

std::vector<long long> KeyframesMs(const std::filesystem::path& file)
{
    std::vector<long long> out;
    for (double t : test::ProbeVideoKeyframeTimes(file)) out.push_back(std::llround(t * 1000.0));
    return out;
}

std::vector<std::string> DirectoryNames(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> WithoutRunIdentity(std::vector<std::uint8_t> bytes, const asf::Guid& fileId)
{
    auto zero = [&bytes](const asf::Guid& g, std::size_t after, std::size_t length) {
        for (auto at = std::search(bytes.begin(), bytes.end(), g.bytes.begin(), g.bytes.end()); at != bytes.end();
             at = std::search(at + 1, bytes.end(), g.bytes.begin(), g.bytes.end()))
            std::fill_n(at + static_cast<std::ptrdiff_t>(after), length, 0);
    };
    zero(fileId, 0, 16);
    zero(asf::guids::kFileProperties, 48, 8);
    return bytes;
}

}  // namespace kestrine::cutter::testing
