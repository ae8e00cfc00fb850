#include "support/TestMedia.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/TestPaths.h"

extern char** environ;

namespace kestrine::test {

namespace {

// A hash that stays the same from run to run and build to build, so the cache survives rebuilds.
std::uint64_t StableHash(const std::string& text)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string Hex(std::uint64_t v)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string FormatNumber(double v)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << v;
    return s.str();
}

// Closes a descriptor on every path out of RunProgram.
struct Fd {
    int fd = -1;
    ~Fd() { Close(); }
    void Close()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

}  // namespace

std::string MediaSpec::Describe() const
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << "v=" << videoCodec << ";a=" << audioCodec << ";d=" << durationSeconds << ";r=" << frameRate << ";s="
      << width << "x" << height << ";g=" << gopLength << ";p=" << packetSize << ";pat=" << framePattern
      << ";vb=" << videoBitrate << ";ab=" << audioBitrate << ";ar=" << audioSampleRate << ";ac=" << audioChannels
      << ";ext=" << extension << ";streamed=" << streamed << ";noindex=" << withoutIndex << ";x=";
    for (const auto& a : extraOutputArgs) s << a << '\x1f';
    return s.str();
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args, double timeoutSeconds)
{
    ProgramResult result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    Fd outRead{outPipe[0]}, outWrite{outPipe[1]};
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    Fd errRead{errPipe[0]}, errWrite{errPipe[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.fd, 1);
    posix_spawn_file_actions_adddup2(&actions, errWrite.fd, 2);

    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int rc = program.find('/') == std::string::npos
                 ? posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                 : posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return result;
    outWrite.Close();
    errWrite.Close();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    std::array<char, 65536> buf;
    while (outRead.fd >= 0 || errRead.fd >= 0) {
        std::array<pollfd, 2> fds{pollfd{outRead.fd, POLLIN, 0}, pollfd{errRead.fd, POLLIN, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        int n = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t got = ::read(fds[i].fd, buf.data(), buf.size());
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buf.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                (i == 0 ? outRead : errRead).Close();
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.exitCode = 128 + WTERMSIG(status);
    return result;
}

std::filesystem::path MakeMedia(const MediaSpec& spec)
{
    namespace fs = std::filesystem;
    const bool video = !spec.videoCodec.empty();
    const bool audio = !spec.audioCodec.empty();
    if (!video && !audio) throw std::invalid_argument("MakeMedia: a file needs at least one stream");
    std::string ext = !spec.extension.empty() ? spec.extension : (video ? "wmv" : "wma");

    fs::path dir = WorkDir() / "media";
    fs::create_directories(dir);
    std::string stem = (video ? spec.videoCodec : std::string("novideo")) + "-" +
                       (audio ? spec.audioCodec : std::string("noaudio")) + "-" + Hex(StableHash(spec.Describe()));
    fs::path file = dir / (stem + "." + ext);
    std::error_code ec;
    if (fs::exists(file, ec) && fs::file_size(file, ec) > 0) return file;

    std::random_device rd;
    fs::path temp = dir / (stem + ".part-" + std::to_string(::getpid()) + "-" + Hex(rd()));
    const std::string d = FormatNumber(spec.durationSeconds);

    std::vector<std::string> args = {"-nostdin", "-hide_banner", "-loglevel", "error", "-y"};
    if (video) {
        std::string size = std::to_string(spec.width) + "x" + std::to_string(spec.height);
        // Options follow the source name after '=' and are joined by ':'.
        std::string src = spec.framePattern ? "testsrc2=" : "color=c=0x3060a0:";
        args.insert(args.end(), {"-f", "lavfi", "-i",
                                 src + "size=" + size + ":rate=" + std::to_string(spec.frameRate) + ":duration=" + d});
    }
    if (audio) {
        args.insert(args.end(), {"-f", "lavfi", "-i",
                                 "sine=frequency=440:sample_rate=" + std::to_string(spec.audioSampleRate) +
                                     ":duration=" + d});
    }
    int input = 0;
    if (video) {
        args.insert(args.end(), {"-map", std::to_string(input++) + ":v", "-c:v", spec.videoCodec, "-g",
                                 std::to_string(spec.gopLength), "-b:v", spec.videoBitrate});
    }
    if (audio) {
        args.insert(args.end(), {"-map", std::to_string(input++) + ":a", "-c:a", spec.audioCodec, "-b:a",
                                 spec.audioBitrate, "-ac", std::to_string(spec.audioChannels)});
    }
    if (spec.packetSize > 0) args.insert(args.end(), {"-packet_size", std::to_string(spec.packetSize)});
    args.insert(args.end(), spec.extraOutputArgs.begin(), spec.extraOutputArgs.end());
    args.insert(args.end(), {"-f", "asf", spec.streamed ? std::string("pipe:1") : temp.string()});

    ProgramResult r = RunProgram("ffmpeg", args);
    if (spec.streamed && r.exitCode == 0) {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(r.out.data(), static_cast<std::streamsize>(r.out.size()));
        if (!out.flush()) r.exitCode = -1;
    }
    if (r.exitCode != 0 || !fs::exists(temp, ec)) {
        fs::remove(temp, ec);
        ADD_FAILURE() << "ffmpeg could not make " << spec.Describe() << ": " << r.err;
        throw std::runtime_error("MakeMedia failed: " + r.err);
    }
    if (spec.withoutIndex) {
        // ffmpeg's Simple Index is the file's last object: find its GUID and check its size reaches the end.
        static const std::string kSimpleIndexId("\x90\x08\x00\x33\xB1\xE5\xCF\x11\x89\xF4\x00\xA0\xC9\x03\x49\xCB", 16);
        auto bytes = ReadFileBytes(temp);
        std::string text(bytes.begin(), bytes.end());
        std::size_t at = text.rfind(kSimpleIndexId);
        std::uint64_t size = 0;
        for (int i = 0; at != std::string::npos && i < 8 && at + 24 <= bytes.size(); ++i)
            size |= static_cast<std::uint64_t>(bytes[at + 16 + i]) << (8 * i);
        if (at == std::string::npos || at + size != bytes.size()) {
            fs::remove(temp, ec);
            ADD_FAILURE() << "no Simple Index at the end of the file ffmpeg made for " << spec.Describe();
            throw std::runtime_error("MakeMedia: no index to remove");
        }
        fs::resize_file(temp, at);
    }
    // rename() replaces atomically, so a concurrent maker of the same spec does no harm.
    fs::rename(temp, file);
    return file;
}

std::vector<ProbedPacket> ProbePackets(const std::filesystem::path& file, const std::string& streamSelector)
{
    ProgramResult r = RunProgram("ffprobe", {"-v", "error", "-select_streams", streamSelector, "-show_entries",
                                             "packet=pts_time,dts_time,flags", "-of", "csv=p=0", file.string()});
    std::vector<ProbedPacket> packets;
    if (r.exitCode != 0) {
        ADD_FAILURE() << "ffprobe failed on " << file << ": " << r.err;
        return packets;
    }
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        // pts,dts,flags: ffmpeg's reader leaves the pts out of streams stored in decode order, whose
        // dts is then the file's presentation time.
        const auto first = line.find(',');
        const auto second = first == std::string::npos ? first : line.find(',', first + 1);
        if (second == std::string::npos) continue;
        std::string time = line.substr(0, first);
        if (time == "N/A") time = line.substr(first + 1, second - first - 1);
        if (time == "N/A") continue;
        ProbedPacket p;
        std::istringstream num(time);
        num.imbue(std::locale::classic());
        num >> p.ptsSeconds;
        p.key = line.find('K', second) != std::string::npos;
        packets.push_back(p);
    }
    return packets;
}

std::vector<double> ProbeVideoKeyframeTimes(const std::filesystem::path& file)
{
    std::vector<double> times;
    for (const auto& p : ProbePackets(file, "v:0"))
        if (p.key) times.push_back(p.ptsSeconds);
    return times;
}

double ProbeDurationSeconds(const std::filesystem::path& file)
{
    ProgramResult r = RunProgram("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of",
                                             "default=noprint_wrappers=1:nokey=1", file.string()});
    std::istringstream num(r.out);
    num.imbue(std::locale::classic());
    double v = -1.0;
    if (r.exitCode != 0 || !(num >> v)) return -1.0;
    return v;
}

double ProbeVideoDurationSeconds(const std::filesystem::path& file)
{
    ProgramResult r = RunProgram("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "stream=duration",
                                             "-of", "default=noprint_wrappers=1:nokey=1", file.string()});
    std::istringstream num(r.out);
    num.imbue(std::locale::classic());
    double v = -1.0;
    if (r.exitCode != 0 || !(num >> v)) return -1.0;
    return v;
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace kestrine::test
