#include "platform/RunRecord.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kestrine::platform {

namespace {

constexpr const char* kHeading = "kestrine run";

std::string CurrentBootId()
{
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

// Field 22 of /proc/<pid>/stat; the command name before it may hold blanks and parentheses.
std::optional<std::uint64_t> StartTicksOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // After the name: state (3) ... starttime (22).
    for (int index = 3; index <= 22; ++index)
        if (!(fields >> field)) return std::nullopt;
    try {
        return std::stoull(field);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

ProcessIdentity ProcessIdentity::Self()
{
    ProcessIdentity self;
    self.Pid = ::getpid();
    self.StartTicks = StartTicksOf(self.Pid).value_or(0);
    self.BootId = CurrentBootId();
    return self;
}

bool ProcessIdentity::Alive() const
{
    if (Pid <= 0 || BootId != CurrentBootId()) return false;
    const auto started = StartTicksOf(Pid);
    return started && *started == StartTicks;
}

bool RunRecord::WriteTo(const std::string& directory) const
{
    const std::string path = directory + FileName;
    const std::string next = path + ".new";
    {
        std::ofstream out(next, std::ios::trunc);
        out << kHeading << '\n'
            << "owner " << Owner.Pid << ' ' << Owner.StartTicks << ' ' << Owner.BootId << '\n'
            << "current " << CurrentResult << '\n';
        out.flush();
        if (!out) {
            std::remove(next.c_str());
            return false;
        }
    }
    if (std::rename(next.c_str(), path.c_str()) != 0) {
        std::remove(next.c_str());
        return false;
    }
    return true;
}

std::optional<RunRecord> RunRecord::ReadFrom(const std::string& directory)
{
    std::ifstream in(directory + FileName);
    std::string heading;
    if (!std::getline(in, heading) || heading != kHeading) return std::nullopt;
    RunRecord record;
    std::string word;
    if (!(in >> word) || word != "owner" || !(in >> record.Owner.Pid >> record.Owner.StartTicks >> record.Owner.BootId))
        return std::nullopt;
    if (!(in >> word) || word != "current") return std::nullopt;
    std::getline(in, record.CurrentResult);
    if (!record.CurrentResult.empty() && record.CurrentResult.front() == ' ') record.CurrentResult.erase(0, 1);
    // Only a plain name inside the directory is ever taken from the file.
    if (record.CurrentResult.find('/') != std::string::npos || record.CurrentResult == "." ||
        record.CurrentResult == "..")
        return std::nullopt;
    return record;
}

}  // namespace kestrine::platform
