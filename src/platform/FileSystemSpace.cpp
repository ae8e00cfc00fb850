#include "platform/FileSystemSpace.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

namespace kestrine::platform {

namespace {

// The path itself when it exists, else its closest existing parent; "/" at worst.
std::string NearestExisting(std::string path)
{
    while (!path.empty()) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return path;
        while (!path.empty() && path.back() == '/') path.pop_back();
        const auto slash = path.rfind('/');
        if (slash == std::string::npos) return ".";
        path.resize(slash == 0 ? 1 : slash);
        if (path == "/") return path;
    }
    return "/";
}

}  // namespace

std::optional<std::uint64_t> AvailableBytes(const std::string& path)
{
    struct statvfs fs {};
    if (path.empty() || ::statvfs(NearestExisting(path).c_str(), &fs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

bool IsInMemoryFileSystem(const std::string& path)
{
    struct statfs fs {};
    if (path.empty() || ::statfs(NearestExisting(path).c_str(), &fs) != 0) return false;
    return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

}  // namespace kestrine::platform
