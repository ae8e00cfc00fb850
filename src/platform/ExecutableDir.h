#pragma once
#include <string>

namespace kestrine::platform {

// Directory of the running executable, ending in '/'. Falls back to the current directory when
// /proc/self/exe cannot be read (a stripped-down container), and to "./" when even that fails.
std::string ExecutableDir();

}  // namespace kestrine::platform
