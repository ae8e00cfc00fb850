#include "platform/TempPath.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrine::platform {

namespace {

bool IsAbsoluteDirectory(const char* path)
{
    if (path == nullptr || path[0] != '/') return false;
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithTrailingSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return dir;
}

}  // namespace

std::string SystemTempPath()
{
    const char* tmpdir = std::getenv("TMPDIR");
    if (IsAbsoluteDirectory(tmpdir)) return WithTrailingSlash(tmpdir);
    return "/tmp/";
}

std::string UserCacheDir()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') return WithTrailingSlash(xdg);
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/') return {};
    return WithTrailingSlash(home) + ".cache/";
}

}  // namespace kestrine::platform
