#pragma once
// Media made at test time by Debian's ffmpeg, plus small helpers to run programs and read their output.
//
//   MediaSpec spec;                 // 4 s of wmv2 + wmav2, 320x240, 25 fps, GOP 12
//   spec.videoCodec = "msmpeg4";
//   spec.packetSize = 2048;
//   std::filesystem::path file = MakeMedia(spec);   // cached under WorkDir()/media
//
// Files are cached by a hash of the spec, so tests that ask for the same spec share one file and
// repeated runs do not re-encode. Creation is safe across concurrent test processes: each writes a
// private temporary name and renames it into place. MakeMedia fails the calling test (and throws)
// if ffmpeg fails.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrine::test {

struct MediaSpec {
    std::string videoCodec = "wmv2";   // wmv1, wmv2, msmpeg4, or "" for no video
    std::string audioCodec = "wmav2";  // wmav1, wmav2, or "" for no audio
    double durationSeconds = 4.0;
    int frameRate = 25;
    int width = 320;
    int height = 240;
    int gopLength = 12;            // ffmpeg -g
    int packetSize = 0;            // ffmpeg -packet_size; 0 keeps ffmpeg's default (3200)
    bool framePattern = true;      // testsrc2 (every frame different) rather than a plain colour
    std::string videoBitrate = "400k";
    std::string audioBitrate = "64k";
    int audioSampleRate = 44100;
    int audioChannels = 2;
    std::vector<std::string> extraOutputArgs;  // further ffmpeg output options, placed before the file name
    std::string extension;         // "" picks .wmv with video, .wma without
    bool streamed = false;         // written to a pipe: broadcast flag set, sizes and counts left unset
    bool withoutIndex = false;     // the Simple Index that ffmpeg appends is cut off

    std::string Describe() const;  // canonical text of the spec; its hash names the cached file
};

std::filesystem::path MakeMedia(const MediaSpec& spec);

struct ProgramResult {
    int exitCode = -1;   // the program's exit status; 128 + signal if it was killed; -1 if it could not start
    std::string out;     // everything it wrote to standard output
    std::string err;     // everything it wrote to standard error
    bool timedOut = false;
};

// Runs `program` (looked up in PATH when it has no '/') with `args`, no shell, stdin from /dev/null.
// A program still running after `timeoutSeconds` is killed and reported with timedOut set.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         double timeoutSeconds = 600.0);

// ffprobe's view of a stream: the packets of `streamSelector` ("v:0", "a:0") as (pts_time, key) pairs.
struct ProbedPacket {
    double ptsSeconds = 0.0;
    bool key = false;
};
std::vector<ProbedPacket> ProbePackets(const std::filesystem::path& file, const std::string& streamSelector);

// The pts_time of every key packet of the first video stream, in file order.
std::vector<double> ProbeVideoKeyframeTimes(const std::filesystem::path& file);

// ffprobe -show_entries format=duration, in seconds; negative when ffprobe gives none.
double ProbeDurationSeconds(const std::filesystem::path& file);
// ffprobe's duration of the first video stream, in seconds; negative when ffprobe gives none. Unlike
// the file's duration it leaves out sound that runs on past the last picture.
double ProbeVideoDurationSeconds(const std::filesystem::path& file);

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

}  // namespace kestrine::test
