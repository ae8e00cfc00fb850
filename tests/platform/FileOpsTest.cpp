#include "platform/ExecutableDir.h"
#include "platform/FileOps.h"
#include "platform/QtPathNames.h"
#include "platform/ShortPath.h"
#include "platform/TempPath.h"
#include "support/TestPaths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace kestrine::platform;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Sets an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1); else ::unsetenv(name);
    }
    ~EnvVar()
    {
        if (old_) ::setenv(name_, old_->c_str(), 1); else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(Paths, ExecutableDirIsWhereTheTestProgramLives)
{
    const std::string dir = ExecutableDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(fs::equivalent(fs::path(dir), fs::read_symlink("/proc/self/exe").parent_path()));
    EXPECT_EQ(ShortPathName("/a b/c"), "/a b/c");  // no short forms on Linux
}

TEST(Paths, TempPathFollowsTmpdirOnlyWhenItIsAnAbsoluteDirectory)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    {
        EnvVar tmp("TMPDIR", dir.c_str());
        EXPECT_EQ(SystemTempPath(), dir.string() + "/");
    }
    {
        EnvVar tmp("TMPDIR", "relative/dir");
        EXPECT_EQ(SystemTempPath(), "/tmp/");
    }
    {
        EnvVar tmp("TMPDIR", (dir / "missing").c_str());
        EXPECT_EQ(SystemTempPath(), "/tmp/");
    }
    {
        EnvVar cache("XDG_CACHE_HOME", "/x/cache");
        EXPECT_EQ(UserCacheDir(), "/x/cache/");
    }
    {
        EnvVar cache("XDG_CACHE_HOME", nullptr);
        EnvVar home("HOME", "/home/someone");
        EXPECT_EQ(UserCacheDir(), "/home/someone/.cache/");
    }
}

TEST(Paths, QtConversionKeepsUtf8Names)
{
    const std::string name = "/tmp/\xc3\xa9t\xc3\xa9 \xe2\x80\x94 clip.wmv";
    EXPECT_EQ(FromQtPath(ToQtPath(name)), name);
    EXPECT_EQ(ToQtPath(name), QString::fromUtf8(name.c_str()));
}

TEST(FileOps, ExistsAndDelete)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    const std::string file = (dir / "a").string();
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(FileExists(dir.string()));  // a directory is not a file
    EXPECT_FALSE(FileExists(""));
    std::ofstream(file) << "x";
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(DeleteFile(file));
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(DeleteFile(file));
}

TEST(FileOps, CopyReplacesOrRefusesAndNeverLeavesAPartialFile)
{
    const fs::path dir = kestrine::test::FreshTestDir();
    const std::string from = (dir / "source").string();
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 % 251);
    std::ofstream(from, std::ios::binary) << big;

    const std::string to = (dir / "copy with blanks.asf").string();
    EXPECT_TRUE(CopyFile(from, to, false));
    EXPECT_EQ(ReadAll(to), big);

    std::ofstream(to) << "other";
    EXPECT_FALSE(CopyFile(from, to, true));
    EXPECT_EQ(ReadAll(to), "other");
    ::chmod(to.c_str(), 0640);
    EXPECT_TRUE(CopyFile(from, to, false));
    EXPECT_EQ(ReadAll(to), big);
    EXPECT_EQ(fs::status(to).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);  // the replaced file's mode

    EXPECT_TRUE(CopyFile(to, to, false));  // onto itself: unchanged, not truncated
    EXPECT_EQ(ReadAll(to), big);

    EXPECT_FALSE(CopyFile((dir / "missing").string(), (dir / "x").string(), false));
    EXPECT_FALSE(fs::exists(dir / "x"));
    EXPECT_FALSE(CopyFile(from, (dir / "no-dir" / "x").string(), false));
    EXPECT_FALSE(CopyFile(from, dir.string(), false));  // a directory is never replaced

    // Only the three files the test made remain: no temporary copies left behind.
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}
