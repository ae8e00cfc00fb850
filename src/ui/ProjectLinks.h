#pragma once

namespace kestrine::ui {

// Where users get the cutter, asfbin.exe: the project's own download page for it.
inline constexpr const char* CutterDownloadPage = "https://kestrine.org/asfbin/";

}  // namespace kestrine::ui
