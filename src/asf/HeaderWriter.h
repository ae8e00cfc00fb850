#pragma once
// Builds the Header Object of a rewritten file from the header of its (first) source.
//
//   HeaderPlan plan;
//   plan.fileId = NewFileId();  plan.packetSize = 3200;  plan.written.simpleIndex = true;
//   plan.span = {fromMs, toMs, shiftMs};        // which markers and script commands survive, and how they move
//   plan.laterInputs = {{&second.Header(), span2}};  // a join: their markers and script commands too
//   BuiltHeader header = BuildHeader(source.Header(), plan);
//   out.Write(header.bytes);                    // sizes, counts, durations and later inputs' times follow:
//   header.PlaceInput(1, shiftMs);  header.SetTotals(totals);  header.SetMarkerPlace(i, packetOffset, sendTime);
//   out.WriteAt(0, header.bytes);               // the header never changes size once built
//
// Every child object is carried over byte for byte in its order, except: File Properties (new file
// ID, creation date, sizes, counts, durations, flags, packet size), the Header Extension (index
// parameters objects dropped unless that index is written; the start and end times of Extended
// Stream Properties, which describe the source's timeline, cleared), Marker and Script Command objects
// (every input's entries in its span, shifted, in time order: TimedHeaderEntries.h; added at the end
// when only a later input has one) and a Digital Signature, which cannot stay valid over a rewritten
// header and is dropped.
// The Data Object's header (50 bytes) is taken to follow the Header Object directly.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "asf/Guid.h"
#include "asf/HeaderObjects.h"
#include "asf/PresentationSpan.h"
#include "asf/SimpleIndexWriter.h"
#include "asf/TimedHeaderEntries.h"

namespace kestrine::asf {

// An input after the first of a join: its span's shift is given later, through BuiltHeader::PlaceInput.
struct LaterInput {
    const Header* header = nullptr;
    PresentationSpan span;
};

struct HeaderPlan {
    Guid fileId;
    std::uint64_t creationDate = 0;  // 100 ns since 1601-01-01
    std::uint32_t packetSize = 0;
    WrittenIndexes written;
    bool seekable = false;
    PresentationSpan span;  // of the first input
    // When set, the source's Padding Objects give way to one that puts the first data packet at this
    // offset modulo 4096 (the first input's own place), so that copies of its packets can share
    // whole blocks with it on file systems that share blocks.
    std::optional<std::uint64_t> packetsAlignedWith;
    // Otherwise at least this much padding: room for a later join made in this file's own place
    // (asfbin.exe -append) to hold more markers and script commands in its header.
    std::uint32_t headerRoom = 0;
    std::vector<LaterInput> laterInputs;
};

// What is only known once the packets and indexes are written.
struct HeaderTotals {
    std::uint64_t fileSize = 0;
    std::uint64_t packetCount = 0;
    std::uint64_t playDuration = 0;  // 100 ns, preroll included
    std::uint64_t sendDuration = 0;  // 100 ns
};

struct BuiltHeader {
    std::vector<std::uint8_t> bytes;
    std::size_t filePropertiesAt = 0;
    TimedHeaderEntries timedEntries;

    void SetTotals(const HeaderTotals& totals);
    // Every input's markers, first input first; a later input's times are final once it is placed.
    const std::vector<MarkerEntry>& Markers() const { return timedEntries.Markers(); }
    // Moves later input `input`'s (1, 2 ...) markers and script commands by its shift.
    void PlaceInput(std::size_t input, std::int64_t shiftMs) { timedEntries.PlaceInput(input, shiftMs, bytes); }
    // The packet a marker points at: its byte offset from the first packet and that packet's send time.
    void SetMarkerPlace(std::size_t marker, std::uint64_t packetOffset, std::uint32_t sendTimeMs)
    {
        timedEntries.SetMarkerPlace(marker, packetOffset, sendTimeMs, bytes);
    }
};

// Throws FormatError when a child object the rewrite must understand (File Properties, Header
// Extension, Marker, Script Command, of any input for the last two) is malformed.
BuiltHeader BuildHeader(const Header& source, const HeaderPlan& plan);

// A random file ID (version 4 GUID) and the current time as an ASF creation date.
Guid NewFileId();
std::uint64_t CurrentFileTime();

}  // namespace kestrine::asf
