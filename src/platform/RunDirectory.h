#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kestrine::platform {

// A directory made for this run only (unique name, mode 0700), holding the result files.
// The system temporary directory is shared by every user and every run, so fixed names there could be
// pre-created, replaced by links, or overwritten by a second editor; a private directory avoids all three.
// It holds a run record (RunRecord) naming this process and the result shown last, so a later editor can
// tell a directory whose editor ended without closing and offer what it held.
class PrivateRunDirectory {
public:
    // Makes the directory inside tempPath, else inside "<cacheDir>kestrine/". Where tempPath keeps its
    // files in memory and cacheDir does not, the cache comes first: results are as large as the sources.
    // Empty when neither place can hold it.
    static std::optional<PrivateRunDirectory> Create(const std::string& tempPath, const std::string& cacheDir);

    PrivateRunDirectory(PrivateRunDirectory&& other) noexcept;
    PrivateRunDirectory& operator=(PrivateRunDirectory&& other) noexcept;
    PrivateRunDirectory(const PrivateRunDirectory&) = delete;
    PrivateRunDirectory& operator=(const PrivateRunDirectory&) = delete;
    ~PrivateRunDirectory();

    // The directory, ending in '/'; empty once removed.
    const std::string& Path() const { return path_; }

    // Notes in the run record which file of the directory is the current result; "" for none.
    void RecordCurrentResult(const std::string& fileName);

    // Removes the directory as RemoveRunDirectory does. True when the directory is gone.
    bool Remove();

private:
    explicit PrivateRunDirectory(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// A run directory whose editor ended without removing it (it crashed or was killed).
struct OrphanedRunDirectory {
    std::string Path;           // ending in '/'
    std::string CurrentResult;  // the full path of the result its editor showed last; empty when none is left
};

// This user's run directories in tempPath and in "<cacheDir>kestrine/" whose owner no longer runs.
// Only their run records are read.
std::vector<OrphanedRunDirectory> FindOrphanedRunDirectories(const std::string& tempPath, const std::string& cacheDir);

// Removes what the editor and its cutter make in a run directory (the results "temp...", the cutter's
// work files ".temp....part", the run record), then the directory itself. Anything else put there is
// kept, and so is the directory then. Links are removed, never followed. True when the directory is gone.
bool RemoveRunDirectory(const std::string& path);

}  // namespace kestrine::platform
