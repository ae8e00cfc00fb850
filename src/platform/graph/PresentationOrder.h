#pragma once
// Presentation times for a video decoder's output. Files store streams with B-frames in decode
// order, each object timed by its slot in that order, so a frame's own time is not when it is shown:
// pictures are shown at the stored times in sorted order. A B-frame is shown at once, in the slot
// before its own; a reference frame waits for the B-frames decoded after it, so it is shown no
// earlier than its own slot. Slots of frames the decoder drops (damage, or B-frames whose
// reference lies before a seek) are let go at the next picture that proves them past, so one lost
// frame shifts at most one picture. Streams without B-frames come out in the order they went in
// and get their own times back.
#include "platform/com/Types.h"

#include <optional>
#include <set>

namespace kestrine::platform {

class PresentationOrder {
public:
    enum class Kind {
        Reference,   // I and P frames, and any frame of a codec whose B-frames may be referenced
        ShownAtOnce  // a B-frame that nothing refers to
    };

    // A compressed frame with this time went into the decoder.
    void Sent(REFERENCE_TIME time);
    // The time for the next picture out of the decoder; `ownTime` is the time its compressed frame
    // was sent with, when the decoder tells it.
    std::optional<REFERENCE_TIME> Next(std::optional<REFERENCE_TIME> ownTime, Kind kind);
    // After a seek or a flush nothing sent before is coming out.
    void Clear();

private:
    static constexpr std::size_t kHistory = 64;  // far more than any decoder holds back

    std::multiset<REFERENCE_TIME> pending_;  // slots not shown yet
    std::set<REFERENCE_TIME> sent_;          // recent slots, for the one before a B-frame's own
};

}  // namespace kestrine::platform
