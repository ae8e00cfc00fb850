#pragma once
#include <filesystem>

// Where tests find the built programs, the project's sources and the shared sample media.
namespace kestrine::test {

std::filesystem::path BinDir();          // holds kestrine and asfbin.exe
std::filesystem::path SourceDir();       // the project's top directory
std::filesystem::path SharedMediaDir();  // real-world samples kept beside the project, never copied into it
std::filesystem::path WorkDir();         // scratch space in the build tree, created on demand

// A fresh, empty directory under WorkDir() named after the running test.
std::filesystem::path FreshTestDir();

}  // namespace kestrine::test
