#include "platform/ExecutableDir.h"

#include <climits>
#include <unistd.h>
#include <vector>

namespace kestrine::platform {

namespace {

std::string WithTrailingSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return dir;
}

std::string ReadLink(const char* path)
{
    // A path can be longer than PATH_MAX on Linux; grow until the whole target fits.
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink(path, buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string ExecutableDir()
{
    const std::string exe = ReadLink("/proc/self/exe");
    const auto slash = exe.rfind('/');
    if (slash != std::string::npos) return exe.substr(0, slash + 1);

    std::vector<char> cwd(PATH_MAX);
    if (::getcwd(cwd.data(), cwd.size()) != nullptr) return WithTrailingSlash(cwd.data());
    return "./";
}

}  // namespace kestrine::platform
