#include "support/TestPaths.h"

#include <gtest/gtest.h>

namespace kestrine::test {

std::filesystem::path BinDir() { return KESTRINE_BIN_DIR; }
std::filesystem::path SourceDir() { return KESTRINE_SOURCE_DIR; }
std::filesystem::path SharedMediaDir() { return SourceDir().parent_path() / "shared" / "media"; }

std::filesystem::path WorkDir()
{
    std::filesystem::path dir = KESTRINE_TEST_WORK_DIR;
    std::filesystem::create_directories(dir);
    return dir;
}

std::filesystem::path FreshTestDir()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "unnamed";
    for (char& c : name)
        if (c == '/') c = '_';
    auto dir = WorkDir() / "tests" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace kestrine::test
