#include "platform/RunDirectory.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using kestrine::platform::PrivateRunDirectory;

TEST(RunDirectory, IsUniquePrivateAndRemovedWithWhatTheRunLeft)
{
    const fs::path base = kestrine::test::FreshTestDir();
    auto a = PrivateRunDirectory::Create(base.string() + "/", "");
    auto b = PrivateRunDirectory::Create(base.string() + "/", "");
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->Path(), b->Path());
    EXPECT_EQ(a->Path().back(), '/');
    EXPECT_EQ(a->Path().compare(0, base.string().size(), base.string()), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(a->Path().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string path = a->Path();
    std::ofstream(path + "temp0") << "r";
    std::ofstream(path + "temp12.kestrine-abc123") << "partial copy";
    EXPECT_TRUE(a->Remove());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(a->Path().empty());

    // Going out of scope removes it as well.
    const std::string other = b->Path();
    b.reset();
    EXPECT_FALSE(fs::exists(other));
}

TEST(RunDirectory, KeepsForeignFilesAndNeverFollowsLinksOut)
{
    const fs::path base = kestrine::test::FreshTestDir();
    const fs::path precious = base / "precious";
    std::ofstream(precious) << "keep";
    auto dir = PrivateRunDirectory::Create(base.string() + "/", "");
    ASSERT_TRUE(dir);
    const std::string path = dir->Path();
    fs::create_symlink(precious, path + "temp3");
    std::ofstream(path + "my movie.asf") << "saved by the user";
    EXPECT_FALSE(dir->Remove());
    EXPECT_TRUE(fs::exists(precious));            // the link went, not its target
    EXPECT_FALSE(fs::is_symlink(path + "temp3"));
    EXPECT_TRUE(fs::exists(path + "my movie.asf"));
    fs::remove(path + "my movie.asf");
    EXPECT_TRUE(dir->Remove());
}

TEST(RunDirectory, FallsBackToAPrivateFolderInTheCache)
{
    const fs::path base = kestrine::test::FreshTestDir();
    const std::string cache = (base / "cache").string() + "/";
    auto dir = PrivateRunDirectory::Create((base / "missing").string() + "/", cache);
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->Path().compare(0, cache.size() + 8, cache + "kestrine"), 0) << dir->Path();
    EXPECT_EQ(fs::status(cache + "kestrine").permissions() & fs::perms::all, fs::perms::owner_all);

    // A cache folder open to others is not used.
    const std::string shared = (base / "shared").string() + "/";
    fs::create_directories(shared + "kestrine");
    fs::permissions(shared + "kestrine", fs::perms::all);
    EXPECT_FALSE(PrivateRunDirectory::Create((base / "missing").string() + "/", shared));
    EXPECT_FALSE(PrivateRunDirectory::Create((base / "missing").string() + "/", ""));
}
