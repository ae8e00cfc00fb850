#include "platform/RunDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrine::platform {

namespace {

std::optional<std::string> MakeUniqueDir(const std::string& parent)
{
    if (parent.empty()) return std::nullopt;
    std::string pattern = parent;
    if (pattern.back() != '/') pattern.push_back('/');
    pattern += "kestrine-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;
    // mkdtemp already uses 0700; say so explicitly in case a platform's default differs.
    if (::chmod(pattern.c_str(), 0700) != 0) {
        ::rmdir(pattern.c_str());
        return std::nullopt;
    }
    return pattern + "/";
}

bool IsOwnedPrivateDirectory(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

std::optional<PrivateRunDirectory> PrivateRunDirectory::Create(const std::string& tempPath, const std::string& cacheDir)
{
    if (auto dir = MakeUniqueDir(tempPath)) return PrivateRunDirectory(*dir);
    if (cacheDir.empty()) return std::nullopt;
    // The per-user parent must itself be ours and closed to others before anything is made in it.
    const std::string parent = cacheDir + "kestrine";
    ::mkdir(cacheDir.c_str(), 0700);
    if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!IsOwnedPrivateDirectory(parent)) return std::nullopt;
    if (auto dir = MakeUniqueDir(parent)) return PrivateRunDirectory(*dir);
    return std::nullopt;
}

PrivateRunDirectory::PrivateRunDirectory(PrivateRunDirectory&& other) noexcept : path_(std::move(other.path_))
{
    other.path_.clear();
}

PrivateRunDirectory& PrivateRunDirectory::operator=(PrivateRunDirectory&& other) noexcept
{
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

PrivateRunDirectory::~PrivateRunDirectory() { Remove(); }

bool PrivateRunDirectory::Remove()
{
    if (path_.empty()) return true;
    if (std::unique_ptr<DIR, DirCloser> dir{::opendir(path_.c_str())}) {
        while (const dirent* entry = ::readdir(dir.get())) {
            if (std::strncmp(entry->d_name, "temp", 4) != 0) continue;
            const std::string name = path_ + entry->d_name;
            struct stat st {};
            if (::lstat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(name.c_str());
        }
    }
    std::string dirPath = path_;
    dirPath.pop_back();
    if (::rmdir(dirPath.c_str()) != 0 && errno != ENOENT) return false;
    path_.clear();
    return true;
}

}  // namespace kestrine::platform
