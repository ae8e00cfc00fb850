#pragma once
#include <string>

namespace kestrine::platform {

// The system's temporary directory, ending in '/': $TMPDIR when it names an existing directory
// by an absolute path, otherwise /tmp/.
std::string SystemTempPath();

// The user's cache directory, ending in '/': $XDG_CACHE_HOME when absolute, otherwise $HOME/.cache/.
// Empty when neither can be determined.
std::string UserCacheDir();

}  // namespace kestrine::platform
