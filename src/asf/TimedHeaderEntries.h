#pragma once
// The Marker and Script Command objects of a rewritten file, gathered from every input.
//
//   TimedHeaderEntries entries;
//   entries.Add(firstInput.Header(), 0, span);           // the span's shift applies at once
//   entries.Add(secondInput.Header(), 1, span2, false);  // times placed later, once the input's shift is known
//   entries.WriteMarkerObject(out) / WriteScriptCommandObject(out)   // fixed sizes from here on
//   entries.PlaceInput(1, shiftMs);                      // then the objects are written again in place
//
// Each input contributes the entries whose time lies in its span, moved by its shift; the objects
// hold them all in time order (inputs in order where times are equal). The Marker Object keeps the
// first input's name; the script command types are the first input's, then those only later inputs
// name, so every command keeps its type. An entry's bytes never change size, so neither do the
// objects: placing an input rewrites them where they stand.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "asf/Guid.h"
#include "asf/HeaderObjects.h"

namespace kestrine::asf {

struct PresentationSpan;

struct MarkerEntry {
    std::size_t input = 0;
    std::uint64_t presentationTime = 0;  // 100 ns, preroll included: the input's own until placed
    bool placed = false;
    std::uint64_t packetOffset = 0;      // of the packet it points at, from the first packet
    std::uint32_t sendTimeMs = 0;        // of that packet
    std::vector<std::uint8_t> rest;      // flags, description length and description, as stored
};

struct ScriptCommandEntry {
    std::size_t input = 0;
    std::uint32_t presentationTimeMs = 0;  // the input's own until placed
    bool placed = false;
    std::uint16_t type = 0;                // index into the merged type list
    std::vector<std::uint8_t> name;        // UTF-16LE as stored
};

class TimedHeaderEntries {
public:
    // Takes `header`'s Marker and Script Command objects. With `place`, the span's shift is applied
    // now; otherwise PlaceInput must follow. Throws FormatError when either object is malformed.
    void Add(const Header& header, std::size_t input, const PresentationSpan& span, bool place = true);

    bool HasMarkerObject() const { return markerObject_.has_value(); }
    bool HasScriptCommandObject() const { return commandObject_.has_value(); }

    // Appends the object to `out` and remembers where, for the rewrites that follow.
    void WriteMarkerObject(std::vector<std::uint8_t>& out);
    void WriteScriptCommandObject(std::vector<std::uint8_t>& out);

    // Moves `input`'s entries by `shiftMs` and rewrites both objects in `bytes` where they were written.
    void PlaceInput(std::size_t input, std::int64_t shiftMs, std::vector<std::uint8_t>& bytes);
    // The packet marker `index` (in the order of `Markers()`) points at, patched into `bytes`.
    void SetMarkerPlace(std::size_t index, std::uint64_t packetOffset, std::uint32_t sendTimeMs,
                        std::vector<std::uint8_t>& bytes);

    // In the order they were added; presentation times are final once their input is placed.
    const std::vector<MarkerEntry>& Markers() const { return markers_; }
    const std::vector<ScriptCommandEntry>& ScriptCommands() const { return commands_; }

private:
    struct MarkerObjectFixed {
        Guid reserved;
        std::uint16_t reserved2 = 0;
        std::vector<std::uint8_t> name;  // UTF-16LE
    };
    struct CommandObjectFixed {
        Guid reserved;
        std::vector<std::vector<std::uint8_t>> types;  // UTF-16LE names
    };

    void AddMarkers(const RawObject& object, std::size_t input, const PresentationSpan& span, bool place);
    void AddScriptCommands(const RawObject& object, std::size_t input, const PresentationSpan& span, bool place);
    void SerializeMarkers(std::vector<std::uint8_t>& out);
    void SerializeScriptCommands(std::vector<std::uint8_t>& out);

    std::optional<MarkerObjectFixed> markerObject_;
    std::optional<CommandObjectFixed> commandObject_;
    std::vector<MarkerEntry> markers_;
    std::vector<ScriptCommandEntry> commands_;
    std::vector<std::size_t> markerFieldsAt_;  // per marker: its offset field in the written bytes
    std::optional<std::size_t> markerObjectAt_, commandObjectAt_;
};

}  // namespace kestrine::asf
