#include "platform/RunDirectory.h"

#include "asf/AppendUndo.h"

#include "platform/FileOps.h"
#include "platform/FileSystemSpace.h"
#include "platform/RunRecord.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrine::platform {

namespace {

constexpr std::string_view kDirPrefix = "kestrine-";

std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '/') path.push_back('/');
    return path;
}

std::optional<std::string> MakeUniqueDir(const std::string& parent)
{
    if (parent.empty()) return std::nullopt;
    std::string pattern = WithSlash(parent) + std::string(kDirPrefix) + "XXXXXX";
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

// The per-user parent in the cache: made when missing, and used only when it is ours and closed to others.
std::optional<std::string> CacheParent(const std::string& cacheDir)
{
    if (cacheDir.empty()) return std::nullopt;
    const std::string parent = WithSlash(cacheDir) + "kestrine";
    ::mkdir(cacheDir.c_str(), 0700);
    if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!IsOwnedPrivateDirectory(parent)) return std::nullopt;
    return parent;
}

std::optional<std::string> MakeInCache(const std::string& cacheDir)
{
    const auto parent = CacheParent(cacheDir);
    return parent ? MakeUniqueDir(*parent) : std::nullopt;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The names the editor and its cutter give what they write in a run directory.
bool IsRunFile(std::string_view name)
{
    const std::string_view record = RunRecord::FileName;
    return StartsWith(name, "temp") ||                               // results and segments
           (StartsWith(name, ".temp") && EndsWith(name, ".part")) ||  // the cutter's output while it writes
           name == record || (StartsWith(name, record) && name.substr(record.size()) == ".new");
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

std::vector<std::string> EntryNames(const std::string& directory)
{
    std::vector<std::string> names;
    if (std::unique_ptr<DIR, DirCloser> dir{::opendir(directory.c_str())}) {
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
        }
    }
    return names;
}

// A join that appended to the current result goes on after its editor is gone, renaming that
// result: the result holding it now, or empty.
std::string ResultThatTookOver(const std::string& directory, const std::string& currentResult)
{
    for (const std::string& name : EntryNames(directory))
        if (StartsWith(name, "temp") && name.find('.') == std::string::npos &&
            asf::CanGiveBack(directory + name, currentResult))
            return directory + name;
    return {};
}

void FindOrphansIn(const std::string& parent, std::vector<OrphanedRunDirectory>& found)
{
    for (const std::string& name : EntryNames(parent)) {
        if (!StartsWith(name, kDirPrefix)) continue;
        const std::string path = WithSlash(parent) + name + "/";
        if (!IsOwnedPrivateDirectory(path.substr(0, path.size() - 1))) continue;
        // Without a record there is no telling whose it is (one being made right now, say): left alone.
        const auto record = RunRecord::ReadFrom(path);
        if (!record || record->Owner.Alive()) continue;
        OrphanedRunDirectory orphan{path, {}};
        if (!record->CurrentResult.empty() && FileExists(path + record->CurrentResult))
            orphan.CurrentResult = path + record->CurrentResult;
        else if (!record->CurrentResult.empty())
            orphan.CurrentResult = ResultThatTookOver(path, record->CurrentResult);
        found.push_back(std::move(orphan));
    }
}

}  // namespace

std::optional<PrivateRunDirectory> PrivateRunDirectory::Create(const std::string& tempPath, const std::string& cacheDir)
{
    const bool cacheFirst =
        !cacheDir.empty() && IsInMemoryFileSystem(tempPath) && !IsInMemoryFileSystem(cacheDir);
    std::optional<std::string> dir = cacheFirst ? MakeInCache(cacheDir) : MakeUniqueDir(tempPath);
    if (!dir) dir = cacheFirst ? MakeUniqueDir(tempPath) : MakeInCache(cacheDir);
    if (!dir) return std::nullopt;
    PrivateRunDirectory made(*dir);
    // Without its record the directory still works; only a recovery after a crash would not find it.
    RunRecord{ProcessIdentity::Self(), {}}.WriteTo(made.path_);
    return made;
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

void PrivateRunDirectory::RecordCurrentResult(const std::string& fileName)
{
    if (!path_.empty()) RunRecord{ProcessIdentity::Self(), fileName}.WriteTo(path_);
}

bool PrivateRunDirectory::Remove()
{
    if (path_.empty()) return true;
    if (!RemoveRunDirectory(path_)) return false;
    path_.clear();
    return true;
}

std::vector<OrphanedRunDirectory> FindOrphanedRunDirectories(const std::string& tempPath, const std::string& cacheDir)
{
    std::vector<OrphanedRunDirectory> found;
    if (!tempPath.empty()) FindOrphansIn(tempPath, found);
    if (!cacheDir.empty()) FindOrphansIn(WithSlash(cacheDir) + "kestrine", found);
    return found;
}

bool RemoveRunDirectory(const std::string& path)
{
    if (path.empty()) return true;
    const std::string dir = WithSlash(path);
    for (const std::string& name : EntryNames(dir)) {
        if (!IsRunFile(name)) continue;
        struct stat st {};
        if (::lstat((dir + name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink((dir + name).c_str());
    }
    std::string dirPath = dir;
    dirPath.pop_back();
    return ::rmdir(dirPath.c_str()) == 0 || errno == ENOENT;
}

}  // namespace kestrine::platform
