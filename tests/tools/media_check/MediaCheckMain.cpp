// kestrine_media_check FILE|DIRECTORY...: plays each file through the graph the editor builds and
// compares what it shows with FFmpeg. Prints "NAME: ok" or "NAME: FAIL <reasons>" per file, then
// "N files, N ok, N failed"; exits 0 only when every file is ok.
//
// Each file is checked in a child process of its own, so a crash or a hang (30 s) is reported
// against that file and the others still run. No display is needed.
//   --frame-shift N   compares each seek with the picture N frames later (a check of the check)
#include "FileCheck.h"

#include "platform/com/ComRuntime.h"
#include "support/TestMedia.h"

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

namespace {

using kestrine::mediacheck::CheckOptions;

// A file that takes longer hangs; builds under the address checker run several times slower.
#ifdef __SANITIZE_ADDRESS__
constexpr double kSecondsPerFile = 120;
#else
constexpr double kSecondsPerFile = 30;
#endif
constexpr const char* kReason = "REASON ";

std::vector<std::filesystem::path> Expand(const std::vector<std::string>& args)
{
    std::vector<std::filesystem::path> files;
    for (const auto& arg : args) {
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            std::vector<std::filesystem::path> inside;
            for (const auto& entry : std::filesystem::directory_iterator(arg, ec))
                if (entry.is_regular_file(ec)) inside.push_back(entry.path());
            std::sort(inside.begin(), inside.end());
            files.insert(files.end(), inside.begin(), inside.end());
        } else {
            files.emplace_back(arg);
        }
    }
    return files;
}

// In the child: the reasons, one line each.
int CheckOne(int argc, char** argv, const std::filesystem::path& file, const CheckOptions& options)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (kestrine::platform::FAILED(kestrine::platform::CoInitialize(nullptr))) return 2;
    const auto reasons = kestrine::mediacheck::CheckFile(file, options);
    kestrine::platform::CoUninitialize();
    for (const auto& r : reasons) std::printf("%s%s\n", kReason, r.c_str());
    std::fflush(stdout);
    return 0;
}

// In the parent: the verdict line for one file, from its child's run.
std::string Verdict(const std::filesystem::path& file, const CheckOptions& options)
{
    const std::string name = file.filename().string();
    if (std::error_code ec; !std::filesystem::is_regular_file(file, ec)) return name + ": FAIL no such file";
    const auto self = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto r = kestrine::test::RunProgram(
        self, {"--frame-shift", std::to_string(options.frameShift), "--one", file.string()}, kSecondsPerFile);
    std::string reasons;
    if (r.timedOut) {
        reasons = "hung (no answer in " + std::to_string(static_cast<int>(kSecondsPerFile)) + " s)";
    } else if (r.exitCode >= 128) {
        reasons = "crashed (signal " + std::to_string(r.exitCode - 128) + ")";
    } else if (r.exitCode != 0) {
        reasons = "check ended with code " + std::to_string(r.exitCode);
    } else {
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line))
            if (line.starts_with(kReason)) reasons += (reasons.empty() ? "" : "; ") + line.substr(std::strlen(kReason));
    }
    return reasons.empty() ? name + ": ok" : name + ": FAIL " + reasons;
}

}  // namespace

int main(int argc, char** argv)
{
    CheckOptions options;
    std::vector<std::string> args;
    std::string one;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frame-shift" && i + 1 < argc) options.frameShift = std::atoi(argv[++i]);
        else if (a == "--one" && i + 1 < argc) one = argv[++i];
        else args.push_back(a);
    }
    if (!one.empty()) return CheckOne(argc, argv, one, options);

    const auto files = Expand(args);
    if (files.empty()) {
        std::printf("usage: kestrine_media_check [--frame-shift N] FILE|DIRECTORY...\n");
        return 2;
    }
    // Two files at a time; the verdicts print in the order given.
    std::vector<std::string> verdicts(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++) verdicts[i] = Verdict(files[i], options);
    };
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < std::max(2u, std::thread::hardware_concurrency()); ++w) workers.emplace_back(work);
    for (auto& w : workers) w.join();

    std::size_t failed = 0;
    for (const auto& v : verdicts) {
        std::printf("%s\n", v.c_str());
        failed += v.find(": FAIL ") != std::string::npos ? 1 : 0;
    }
    std::printf("%zu files, %zu ok, %zu failed\n", files.size(), files.size() - failed, failed);
    return failed == 0 ? 0 : 1;
}
