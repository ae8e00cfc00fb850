#pragma once
// What FFmpeg, an independent reader and decoder, makes of a file: its streams and length, each
// stream's objects, and chosen pictures of a video stream.
#include <QImage>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kestrine::mediacheck {

struct ProbedStream {
    std::string kind;   // "video", "audio", "data", ...
    std::string codec;  // "unknown" where FFmpeg has no decoder
};

struct ProbedFile {
    bool readable = false;       // ffprobe opened it as a media file
    std::string formatName;
    // The longest stream's duration, which FFmpeg takes from the header; negative when it gives
    // none or only guesses it. (Its figure for the whole file adds the latest stream's start to it.)
    double durationSeconds = -1;
    bool protectedContent = false;
    std::vector<ProbedStream> streams;  // by ffprobe's stream index
};
ProbedFile ProbeFile(const std::filesystem::path& file);

struct ProbedObject {
    double seconds = 0;  // presentation time, or decode time for streams stored in decode order
    double lengthSeconds = 0;
    bool key = false;
};
// Every object of every stream, by stream index, in file order.
std::map<int, std::vector<ProbedObject>> ProbeObjects(const std::filesystem::path& file);

// FFmpeg's decode of the stream's pictures number `frames` (0-based, in presentation order), at
// their coded size; pictures FFmpeg does not deliver are missing from the result.
std::map<int, QImage> DecodePictures(const std::filesystem::path& file, int streamIndex, QSize size,
                                     const std::vector<int>& frames);

}  // namespace kestrine::mediacheck
