#pragma once
// Checks one file through the graph the editor builds: it opens (or is refused for a reason that
// holds), reports FFmpeg's length, shows FFmpeg's picture after paused seeks, and plays pictures
// and sound in order. Gives the reasons it fails; none when the file passes.
#include <filesystem>
#include <string>
#include <vector>

namespace kestrine::mediacheck {

struct CheckOptions {
    // Compares each seek with the picture this many frames later: a check of the check, which
    // must then fail on moving pictures.
    int frameShift = 0;
};

std::vector<std::string> CheckFile(const std::filesystem::path& file, const CheckOptions& options);

}  // namespace kestrine::mediacheck
