#pragma once
// Builds the Header Object of a rewritten file from the header of its (first) source.
//
//   HeaderPlan plan;
//   plan.fileId = NewFileId();  plan.packetSize = 3200;  plan.written.simpleIndex = true;
//   plan.span = {fromMs, toMs, shiftMs};        // which markers and script commands survive, and how they move
//   BuiltHeader header = BuildHeader(source.Header(), plan);
//   out.Write(header.bytes);                    // sizes, counts and durations are patched in later:
//   header.SetTotals(totals);  header.SetMarkerPlace(i, packetOffset, sendTime);
//   out.WriteAt(0, header.bytes);               // the header never changes size once built
//
// Every child object is carried over byte for byte in its order, except: File Properties (new file
// ID, creation date, sizes, counts, durations, flags, packet size), the Header Extension (index
// parameters objects dropped unless that index is written; the start and end times of Extended
// Stream Properties, which describe the source's timeline, cleared), Marker and Script Command objects
// (entries outside the span dropped, the rest shifted) and a Digital Signature, which cannot stay
// valid over a rewritten header and is dropped.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "asf/Guid.h"
#include "asf/HeaderObjects.h"
#include "asf/SimpleIndexWriter.h"

namespace kestrine::asf {

// Presentation times (milliseconds, preroll included, as in payloads) of the source that are kept,
// [from, to), and the shift added to them in the output.
struct PresentationSpan {
    std::int64_t fromMs = 0;
    std::int64_t toMs = INT64_MAX;
    std::int64_t shiftMs = 0;

    bool Contains(std::int64_t ms) const { return ms >= fromMs && ms < toMs; }
};

struct HeaderPlan {
    Guid fileId;
    std::uint64_t creationDate = 0;  // 100 ns since 1601-01-01
    std::uint32_t packetSize = 0;
    WrittenIndexes written;
    bool seekable = false;
    PresentationSpan span;
};

// What is only known once the packets and indexes are written.
struct HeaderTotals {
    std::uint64_t fileSize = 0;
    std::uint64_t packetCount = 0;
    std::uint64_t playDuration = 0;  // 100 ns, preroll included
    std::uint64_t sendDuration = 0;  // 100 ns
};

struct KeptMarker {
    std::uint64_t presentationTime = 0;  // 100 ns in the output, preroll included
    std::size_t fieldsAt = 0;            // where its offset field lies in the header bytes
};

struct BuiltHeader {
    std::vector<std::uint8_t> bytes;
    std::size_t filePropertiesAt = 0;
    std::vector<KeptMarker> markers;  // in the order they are stored

    void SetTotals(const HeaderTotals& totals);
    // The packet a marker points at: its byte offset from the first packet and that packet's send time.
    void SetMarkerPlace(std::size_t marker, std::uint64_t packetOffset, std::uint32_t sendTimeMs);
};

// Throws FormatError when a child object the rewrite must understand (File Properties, Header
// Extension, Marker, Script Command) is malformed.
BuiltHeader BuildHeader(const Header& source, const HeaderPlan& plan);

// A random file ID (version 4 GUID) and the current time as an ASF creation date.
Guid NewFileId();
std::uint64_t CurrentFileTime();

}  // namespace kestrine::asf
