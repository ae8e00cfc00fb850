#pragma once
// Where reading a file this engine wrote can begin near its end, when it is the first input of a
// join: its packets go into the output as they are, so everything before that place is copied
// unread, and what the rest of the run needs to know of it comes from its header, its Simple
// Index and the packets from there on.
//
//   if (auto point = FindResumePoint(file, videoStream)) ... copy packets [0, point->packet) unread,
//   set up numbering, open objects and the index from *point, then read on from point->packet
//
// A file qualifies only when it looks written here in every way the tail can show: one video
// stream with a one-second Simple Index that names the keyframe where reading resumes, sizes and
// durations set and credible, no compressed payloads, object numbers counted from 0 per stream and
// running on without gaps, and every stream seen after that place. Anything else: std::nullopt,
// and the caller reads the whole file.
#include <cstdint>
#include <optional>
#include <vector>

#include "asf/AsfFile.h"

namespace kestrine::asf {

struct ResumePoint {
    struct OpenObject {  // begun before `packet`, continued after it
        std::uint32_t number = 0;
        std::uint32_t size = 0;
        std::uint32_t received = 0;
        std::uint32_t presentationMs = 0;
        bool keyFrame = false;
    };
    struct Stream {
        std::uint8_t number = 0;
        std::uint32_t nextNumber = 0;  // the media object number (as stored) of the next object to begin
        std::optional<OpenObject> open;
    };
    std::uint64_t packet = 0;            // reading resumes here
    std::uint32_t sendTimeBefore = 0;    // of the packet before it
    std::vector<Stream> streams;
    std::vector<SimpleIndexEntry> indexEntries;  // the video stream's entries for times before keyFrameTime
    std::uint64_t keyFrameTime = 0;      // 100 ns: the keyframe beginning in `packet`
};

std::optional<ResumePoint> FindResumePoint(const AsfFile& file, std::uint8_t videoStream);

}  // namespace kestrine::asf
