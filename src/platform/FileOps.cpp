#include "platform/FileOps.h"

#include "asf/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrine::platform {

namespace {

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CopyBytes(int in, int out)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
    }
}

mode_t NewFileMode()
{
    // umask can only be read by setting it; the editor is single-threaded where this runs.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

bool FileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::optional<std::uint64_t> FileSize(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool DeleteFile(const std::string& path)
{
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists)
{
    if (from.empty() || to.empty()) return false;
    asf::UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return false;
    struct stat fromStat {};
    if (::fstat(in.Get(), &fromStat) != 0 || S_ISDIR(fromStat.st_mode)) return false;

    struct stat toStat {};
    const bool targetExists = ::stat(to.c_str(), &toStat) == 0;
    if (targetExists && S_ISDIR(toStat.st_mode)) return false;
    if (targetExists && failIfExists) return false;
    // Copying a file onto itself would truncate it; it already holds the bytes.
    if (targetExists && toStat.st_dev == fromStat.st_dev && toStat.st_ino == fromStat.st_ino) return true;

    std::string temp = to + ".kestrine-XXXXXX";
    asf::UniqueFd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.Get() < 0) return false;
    const mode_t mode = targetExists ? static_cast<mode_t>(toStat.st_mode & 07777) : NewFileMode();
    bool ok = ::fchmod(out.Get(), mode) == 0 && CopyBytes(in.Get(), out.Get()) && ::fsync(out.Get()) == 0;
    ok = out.Close() && ok;
    if (ok) {
        if (failIfExists) {
            // link() refuses an existing name, so a file that appeared meanwhile is not replaced.
            ok = ::link(temp.c_str(), to.c_str()) == 0;
        } else {
            ok = ::rename(temp.c_str(), to.c_str()) == 0;
            if (ok) return true;
        }
    }
    ::unlink(temp.c_str());
    return ok;
}

}  // namespace kestrine::platform
