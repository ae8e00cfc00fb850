#include "platform/RunDirectory.h"

#include "cutter/AtomicOutputFile.h"
#include "platform/FileSystemSpace.h"
#include "platform/RunRecord.h"
#include "asf/AppendUndo.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using kestrine::platform::PrivateRunDirectory;
using kestrine::platform::ProcessIdentity;
using kestrine::platform::RunRecord;

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

TEST(NoLostWorkRunDirectory, RemovalTakesTheCuttersWorkFilesAndTheRecordAndKeepsForeignFiles)
{
    const fs::path base = kestrine::test::FreshTestDir();
    auto dir = PrivateRunDirectory::Create(base.string() + "/", "");
    ASSERT_TRUE(dir);
    const std::string path = dir->Path();
    EXPECT_TRUE(fs::exists(path + RunRecord::FileName));
    std::ofstream(path + "temp0") << "result";
    // A cutter still writing temp1 and temp2 (as one interrupted by SIGKILL leaves them): its own names.
    kestrine::cutter::AtomicOutputFile segment(path + "temp1", true);
    kestrine::cutter::AtomicOutputFile joined(path + "temp2", true);
    segment.Write("part", 4);
    ASSERT_TRUE(fs::exists(segment.TemporaryPath()));
    ASSERT_EQ(segment.TemporaryPath().parent_path().string() + "/", path);
    std::ofstream(path + "notes.txt") << "the user's";

    EXPECT_FALSE(dir->Remove());
    EXPECT_FALSE(fs::exists(segment.TemporaryPath()));
    EXPECT_FALSE(fs::exists(joined.TemporaryPath()));
    EXPECT_FALSE(fs::exists(path + "temp0"));
    EXPECT_FALSE(fs::exists(path + RunRecord::FileName));
    EXPECT_TRUE(fs::exists(path + "notes.txt"));
    fs::remove(path + "notes.txt");
    EXPECT_TRUE(dir->Remove());
    EXPECT_FALSE(fs::exists(path));
}

TEST(NoLostWorkRunDirectory, DirectoriesWhoseEditorIsGoneAreFoundWithTheirCurrentResult)
{
    const fs::path base = kestrine::test::FreshTestDir();
    const std::string temp = (base / "tmp").string() + "/";
    const std::string cache = (base / "cache").string() + "/";
    fs::create_directories(temp);
    auto mine = PrivateRunDirectory::Create(temp, cache);
    ASSERT_TRUE(mine);
    mine->RecordCurrentResult("temp0");
    std::ofstream(mine->Path() + "temp0") << "live";
    ASSERT_EQ(RunRecord::ReadFrom(mine->Path())->CurrentResult, "temp0");
    ASSERT_TRUE(RunRecord::ReadFrom(mine->Path())->Owner.Alive());

    // Two editors that ended without closing (one in an earlier boot), and one directory without a record.
    auto orphan = [&](const std::string& parent, const std::string& name, ProcessIdentity owner, const std::string& current) {
        const std::string dir = parent + name + "/";
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_all);
        std::ofstream(dir + "temp0") << "first";
        std::ofstream(dir + "temp2") << "newest";
        EXPECT_TRUE((RunRecord{owner, current}).WriteTo(dir));
        return dir;
    };
    ProcessIdentity ended = ProcessIdentity::Self();
    ended.StartTicks += 1;  // the same id, taken by another process since
    ProcessIdentity earlierBoot = ProcessIdentity::Self();
    earlierBoot.BootId = "00000000-0000-0000-0000-000000000000";
    const std::string a = orphan(temp, "kestrine-aaaaaa", ended, "temp2");
    fs::create_directories(cache + "kestrine");
    fs::permissions(cache + "kestrine", fs::perms::owner_all);
    const std::string b = orphan(cache + "kestrine/", "kestrine-bbbbbb", earlierBoot, "");
    fs::create_directories(temp + "kestrine-cccccc");
    fs::permissions(temp + "kestrine-cccccc", fs::perms::owner_all);
    const std::string open = orphan(temp, "kestrine-dddddd", ended, "temp2");
    fs::permissions(open, fs::perms::all);  // open to others: not one of ours

    // A join that appended to the current result went on after its editor was gone: the result that
    // took it over is offered.
    const std::string moved = orphan(temp, "kestrine-eeeeee", ended, "temp0");
    fs::remove(moved + "temp0");
    std::ofstream(moved + "temp2", std::ios::trunc) << "0123456789";
    kestrine::asf::AppendUndo undo;
    undo.earlierName = "temp0";
    undo.earlierHead = {'A', 'B', 'C', 'D'};
    undo.tailOffset = 6;
    undo.earlierTail = {'x', 'y'};
    undo.earlierSize = 8;
    undo.laterHead = {'0', '1', '2', '3'};
    undo.laterSize = 10;
    kestrine::asf::WriteAppendUndo(moved + "temp2.undo", undo);

    auto found = kestrine::platform::FindOrphanedRunDirectories(temp, cache);
    std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) { return x.Path < y.Path; });
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].Path, b);
    EXPECT_EQ(found[0].CurrentResult, "");
    EXPECT_EQ(found[1].Path, a);
    EXPECT_EQ(found[1].CurrentResult, a + "temp2");
    EXPECT_EQ(found[2].CurrentResult, moved + "temp2");

    EXPECT_TRUE(kestrine::platform::RemoveRunDirectory(a));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(mine->Path() + "temp0"));
}

TEST(NoLostWorkRunDirectory, ATemporaryDirectoryInMemoryGivesWayToTheCache)
{
    const fs::path base = kestrine::test::FreshTestDir();
    if (!kestrine::platform::IsInMemoryFileSystem("/dev/shm/") || kestrine::platform::IsInMemoryFileSystem(base.string()))
        GTEST_SKIP() << "needs /dev/shm in memory and the build tree on disk";
    const std::string cache = (base / "cache").string() + "/";
    auto dir = PrivateRunDirectory::Create("/dev/shm/", cache);
    ASSERT_TRUE(dir);
    EXPECT_EQ(dir->Path().compare(0, cache.size() + 9, cache + "kestrine/"), 0) << dir->Path();
    // With both in memory the temporary directory stays first.
    auto both = PrivateRunDirectory::Create("/dev/shm/", "/dev/shm/kestrine-test-cache-" + std::to_string(::getpid()) + "/");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->Path().compare(0, 18, "/dev/shm/kestrine-"), 0) << both->Path();
    both.reset();
    fs::remove_all("/dev/shm/kestrine-test-cache-" + std::to_string(::getpid()));
}
