#pragma once
#include <optional>
#include <string>

namespace kestrine::platform {

// A directory made for this run only (unique name, mode 0700), holding the result files.
// The system temporary directory is shared by every user and every run, so fixed names there could be
// pre-created, replaced by links, or overwritten by a second editor; a private directory avoids all three.
class PrivateRunDirectory {
public:
    // Makes the directory inside tempPath; when that fails, inside "<cacheDir>kestrine/".
    // Empty when neither place can hold it.
    static std::optional<PrivateRunDirectory> Create(const std::string& tempPath, const std::string& cacheDir);

    PrivateRunDirectory(PrivateRunDirectory&& other) noexcept;
    PrivateRunDirectory& operator=(PrivateRunDirectory&& other) noexcept;
    PrivateRunDirectory(const PrivateRunDirectory&) = delete;
    PrivateRunDirectory& operator=(const PrivateRunDirectory&) = delete;
    ~PrivateRunDirectory();

    // The directory, ending in '/'; empty once removed.
    const std::string& Path() const { return path_; }

    // Removes what the run left there (entries named "temp..." and the cutter's work files beside them),
    // then the directory itself. Anything else the user put there is kept, and so is the directory.
    // True when the directory is gone.
    bool Remove();

private:
    explicit PrivateRunDirectory(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

}  // namespace kestrine::platform
