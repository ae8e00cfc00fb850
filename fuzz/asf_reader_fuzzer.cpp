// libFuzzer target for the ASF reader: the whole path a file takes through asfbin.exe -infokf,
// plus full media object reassembly. Each input is presented as a real file (an in-memory one),
// so opening, the top-level walk and buffered packet reading are exercised as well as parsing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "asf/AsfFile.h"
#include "asf/FormatError.h"
#include "asf/KeyFrameScan.h"
#include "asf/MediaObjects.h"
#include "cutter/KeyFrameReport.h"

namespace {

int InputFd()
{
    static int fd = [] {
        int f = ::memfd_create("asf-fuzz-input", 0);
        if (f < 0) std::abort();
        return f;
    }();
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = InputFd();
    if (::ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    // The report never throws and gives either one error line, or the 14 header lines, the block
    // of keyframe lines right after them and at least a summary line.
    kestrine::cutter::KeyFrameReport report = kestrine::cutter::MakeKeyFrameReport(path);
    const std::size_t header = kestrine::cutter::kReportHeaderLines;
    if (report.lines.empty()) std::abort();
    if (report.lines.size() > 1 && report.lines.size() < header + 1) std::abort();
    std::size_t marked = 0;
    for (std::size_t i = 0; i < report.lines.size(); ++i) {
        if (report.lines[i].find("  X") == std::string::npos) continue;
        if (i != header + marked) std::abort();  // outside the block, or the block has a gap
        ++marked;
    }
    if (report.lines.size() > 1 && report.lines.size() < header + marked + 1) std::abort();

    try {
        kestrine::asf::AsfFile file = kestrine::asf::AsfFile::Open(path);
        kestrine::asf::MediaObjectReader objects(file);
        kestrine::asf::MediaObject object;
        std::size_t total = 0;
        while (objects.Next(object)) total += object.data.size();
        if (total > size) std::abort();  // reassembly never invents bytes
    } catch (const kestrine::asf::FormatError&) {
    }
    return 0;
}
