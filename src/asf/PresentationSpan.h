#pragma once
#include <cstdint>

namespace kestrine::asf {

// Presentation times (milliseconds, preroll included, as in payloads) of a source that are kept,
// [from, to), and the shift added to them in the output.
struct PresentationSpan {
    std::int64_t fromMs = 0;
    std::int64_t toMs = INT64_MAX;
    std::int64_t shiftMs = 0;

    bool Contains(std::int64_t ms) const { return ms >= fromMs && ms < toMs; }
};

}  // namespace kestrine::asf
