// Media graph figures, each beside its ffmpeg peer measured in the same run:
//   paused seek latency (put_CurrentPosition until the frame is presented) on 640x480 WMV8, 2 s GOP;
//   decode speed of whole 640x480 and 1280x720 WMV8 files on one core, as multiples of real time.
// Usage: media_graph [work directory]   (files are made there by ffmpeg when missing)
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/GraphInterfaces.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace kestrine::platform;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int Run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A testsrc2 file of `seconds` at 25 frames a second with a keyframe every `gop` frames.
std::filesystem::path Make(const std::filesystem::path& dir, int w, int h, int seconds, int gop = 50)
{
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const auto file = dir / ("wmv8-" + size + "-" + std::to_string(seconds) + "s" + (gop == 50 ? "" : "-gop" + std::to_string(gop)) + ".wmv");
    if (std::filesystem::exists(file)) return file;
    Run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=25:duration=" + std::to_string(seconds), "-f", "lavfi",
         "-i", "sine=frequency=440:duration=" + std::to_string(seconds), "-c:v", "wmv2", "-g", std::to_string(gop), "-b:v", "2M", "-c:a", "wmav2",
         "-b:a", "128k", file.string()});
    return file;
}

struct Graph {
    ComPtr<IFilterGraph2> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaPosition> position;
    ComPtr<IMediaEventEx> events;
    bool Open(const std::filesystem::path& file)
    {
        if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph))) return false;
        control = graph.Query<IMediaControl>();
        position = graph.Query<IMediaPosition>();
        events = graph.Query<IMediaEventEx>();
        return SUCCEEDED(graph->RenderFile(ToWide(file.string()).c_str(), nullptr));
    }
};

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

// Sixty paused seeks to random times, each against ffmpeg decoding the one frame at that time.
bool PausedSeeks(const std::filesystem::path& file, const std::string& name, const std::string& peerName)
{
    Graph g;
    if (!g.Open(file)) {
        std::fprintf(stderr, "cannot render %s\n", file.c_str());
        return false;
    }
    REFTIME duration = 0;
    g.position->get_Duration(&duration);
    const auto spanMs = static_cast<unsigned>(std::max(1.0, duration - 2) * 1000);
    g.control->Pause();
    std::vector<double> ours;
    std::vector<double> peers;
    unsigned seed = 12345;
    for (int i = 0; i < 60; ++i) {
        seed = seed * 1103515245u + 12345u;
        const double t = (seed >> 8) % spanMs / 1000.0;
        const auto start = Clock::now();
        const HRESULT hr = g.position->put_CurrentPosition(t);
        ours.push_back(Ms(Clock::now() - start));
        if (hr != S_OK) std::fprintf(stderr, "seek to %.3f answered 0x%08X\n", t, static_cast<unsigned>(hr));
        if (i % 6 == 0) {  // the peer is a process per seek; fewer samples keep the run short
            const auto p = Clock::now();
            char ts[32];
            std::snprintf(ts, sizeof ts, "%.3f", t);
            Run({"ffmpeg", "-v", "error", "-threads", "1", "-ss", ts, "-i", file.string(), "-frames:v", "1", "-an", "-f", "null", "-"});
            peers.push_back(Ms(Clock::now() - p));
        }
    }
    g.control->Stop();
    std::printf("BENCH %s_median %.1f ms\n", name.c_str(), Percentile(ours, 0.5));
    std::printf("BENCH %s_p95 %.1f ms\n", name.c_str(), Percentile(ours, 0.95));
    std::printf("BENCH %s_median %.1f ms\n", peerName.c_str(), Percentile(peers, 0.5));
    return true;
}

void PinToOneCore()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    sched_setaffinity(0, sizeof set, &set);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path() / "kestrine-bench-media";
    std::filesystem::create_directories(dir);
    CoInitialize(nullptr);
    PinToOneCore();  // child processes inherit it, so ffmpeg runs on the same single core

    // Paused seeks, in groups of two seconds and in groups of ten at 1280x720.
    if (!PausedSeeks(Make(dir, 640, 480, 60), "media_paused_seek", "ffmpeg_seek_one_frame")) return 1;
    if (!PausedSeeks(Make(dir, 1280, 720, 60, 250), "media_paused_seek_720p_10s_gop", "ffmpeg_seek_720p_10s_gop_one_frame")) return 1;

    // Decoding whole files as fast as they decode: no clock, so renderers take frames as they come.
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1280, 720}}) {
        const int seconds = 20;
        const auto file = Make(dir, w, h, seconds);
        Graph d;
        if (!d.Open(file)) continue;
        d.graph.Query<IMediaFilter>()->SetSyncSource(nullptr);
        const auto start = Clock::now();
        d.control->Run();
        LONG code = 0;
        d.events->WaitForCompletion(600000, &code);
        const double ourMs = Ms(Clock::now() - start);
        d.control->Stop();
        const auto p = Clock::now();
        Run({"ffmpeg", "-v", "error", "-threads", "1", "-i", file.string(), "-f", "null", "-"});
        const double peerMs = Ms(Clock::now() - p);
        const std::string name = std::to_string(w) + "x" + std::to_string(h);
        std::printf("BENCH media_decode_wmv8_%s_realtime %.1f x\n", name.c_str(), seconds * 1000.0 / ourMs);
        std::printf("BENCH ffmpeg_decode_wmv8_%s_realtime %.1f x\n", name.c_str(), seconds * 1000.0 / peerMs);
    }
    CoUninitialize();
    return 0;
}
