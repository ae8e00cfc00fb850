#include "asf/TimedHeaderEntries.h"

#include <algorithm>
#include <numeric>

#include "asf/ByteReader.h"
#include "asf/ByteWriter.h"
#include "asf/FormatError.h"
#include "asf/KnownGuids.h"
#include "asf/PresentationSpan.h"

namespace kestrine::asf {

namespace {

constexpr std::size_t kObjectHeader = 24;

ByteReader Body(const RawObject& object, std::string_view what)
{
    if (object.bytes.size() < kObjectHeader) throw FormatError(std::string(what) + " is shorter than its own header");
    return ByteReader(std::span(object.bytes).subspan(kObjectHeader), what);
}

std::vector<std::uint8_t> ToVector(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

std::uint64_t ShiftedTime(std::uint64_t time100ns, std::int64_t shiftMs)
{
    const std::int64_t shifted = static_cast<std::int64_t>(time100ns) + shiftMs * 10000;
    return shifted > 0 ? static_cast<std::uint64_t>(shifted) : 0;
}

std::uint32_t ShiftedMs(std::uint32_t ms, std::int64_t shiftMs)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(std::int64_t{ms} + shiftMs, 0, UINT32_MAX));
}

// Indexes of `entries` in time order, entries of equal time in the order they were added.
template <typename T, typename TimeOf>
std::vector<std::size_t> TimeOrder(const std::vector<T>& entries, TimeOf time)
{
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return time(entries[a]) < time(entries[b]); });
    return order;
}

}  // namespace

void TimedHeaderEntries::Add(const Header& header, std::size_t input, const PresentationSpan& span, bool place)
{
    for (const RawObject& object : header.objects) {
        if (object.id == guids::kMarker) AddMarkers(object, input, span, place);
        if (object.id == guids::kScriptCommand) AddScriptCommands(object, input, span, place);
    }
}

void TimedHeaderEntries::AddMarkers(const RawObject& object, std::size_t input, const PresentationSpan& span, bool place)
{
    ByteReader r = Body(object, "Marker Object");
    MarkerObjectFixed fixed;
    fixed.reserved = r.ReadGuid();
    const std::uint32_t count = r.U32();
    fixed.reserved2 = r.U16();
    fixed.name = ToVector(r.Bytes(r.U16()));
    for (std::uint32_t i = 0; i < count; ++i) {
        r.U64();  // offset: the packet it points at is found again in the output
        MarkerEntry m;
        m.input = input;
        m.presentationTime = r.U64();
        const std::uint16_t entryLength = r.U16();
        if (entryLength < 12) throw FormatError("a Marker entry is too short");
        ByteReader entry = r.Sub(entryLength, "Marker entry");
        m.sendTimeMs = entry.U32();
        m.rest = ToVector(entry.Bytes(entry.Remaining()));
        if (!span.Contains(static_cast<std::int64_t>(m.presentationTime / 10000))) continue;
        if (place) {
            m.presentationTime = ShiftedTime(m.presentationTime, span.shiftMs);
            m.placed = true;
        }
        markers_.push_back(std::move(m));
    }
    if (!markerObject_) markerObject_ = std::move(fixed);
}

void TimedHeaderEntries::AddScriptCommands(const RawObject& object, std::size_t input, const PresentationSpan& span,
                                           bool place)
{
    ByteReader r = Body(object, "Script Command Object");
    CommandObjectFixed fixed;
    fixed.reserved = r.ReadGuid();
    const std::uint16_t count = r.U16();
    const std::uint16_t typeCount = r.U16();
    for (std::uint16_t i = 0; i < typeCount; ++i) fixed.types.push_back(ToVector(r.Bytes(std::size_t{r.U16()} * 2)));
    if (!commandObject_) commandObject_ = CommandObjectFixed{fixed.reserved, {}};
    // This input's type indexes in the merged list: a name already there is that type.
    std::vector<std::uint16_t> typeIndex;
    for (const auto& name : fixed.types) {
        auto& merged = commandObject_->types;
        auto it = std::find(merged.begin(), merged.end(), name);
        if (it == merged.end()) {
            if (merged.size() == 0xFFFF) throw FormatError("the inputs name more script command types than a file can hold");
            it = merged.insert(merged.end(), name);
        }
        typeIndex.push_back(static_cast<std::uint16_t>(it - merged.begin()));
    }
    for (std::uint16_t i = 0; i < count; ++i) {
        ScriptCommandEntry c;
        c.input = input;
        c.presentationTimeMs = r.U32();
        const std::uint16_t type = r.U16();
        c.name = ToVector(r.Bytes(std::size_t{r.U16()} * 2));
        if (!span.Contains(c.presentationTimeMs)) continue;
        // A type the object does not list stays as it was: nothing better can be said of it.
        c.type = type < typeIndex.size() ? typeIndex[type] : type;
        if (place) {
            c.presentationTimeMs = ShiftedMs(c.presentationTimeMs, span.shiftMs);
            c.placed = true;
        }
        commands_.push_back(std::move(c));
    }
    if (commands_.size() > 0xFFFF) throw FormatError("the inputs hold more script commands than a file can hold");
}

void TimedHeaderEntries::WriteMarkerObject(std::vector<std::uint8_t>& out)
{
    markerObjectAt_ = out.size();
    SerializeMarkers(out);
}

void TimedHeaderEntries::WriteScriptCommandObject(std::vector<std::uint8_t>& out)
{
    commandObjectAt_ = out.size();
    SerializeScriptCommands(out);
}

void TimedHeaderEntries::SerializeMarkers(std::vector<std::uint8_t>& out)
{
    const MarkerObjectFixed& fixed = *markerObject_;
    const std::size_t start = out.size();
    ByteWriter w(out);
    w.GuidValue(guids::kMarker);
    w.U64(0);
    w.GuidValue(fixed.reserved);
    w.U32(static_cast<std::uint32_t>(markers_.size()));
    w.U16(fixed.reserved2);
    w.U16(static_cast<std::uint16_t>(fixed.name.size()));
    w.Bytes(fixed.name);
    markerFieldsAt_.assign(markers_.size(), 0);
    for (std::size_t i : TimeOrder(markers_, [](const MarkerEntry& m) { return m.presentationTime; })) {
        const MarkerEntry& m = markers_[i];
        markerFieldsAt_[i] = w.Position();
        w.U64(m.packetOffset);
        w.U64(m.presentationTime);
        w.U16(static_cast<std::uint16_t>(4 + m.rest.size()));
        w.U32(m.sendTimeMs);
        w.Bytes(m.rest);
    }
    w.PatchU64(start + 16, w.Position() - start);
}

void TimedHeaderEntries::SerializeScriptCommands(std::vector<std::uint8_t>& out)
{
    const CommandObjectFixed& fixed = *commandObject_;
    const std::size_t start = out.size();
    ByteWriter w(out);
    w.GuidValue(guids::kScriptCommand);
    w.U64(0);
    w.GuidValue(fixed.reserved);
    w.U16(static_cast<std::uint16_t>(commands_.size()));
    w.U16(static_cast<std::uint16_t>(fixed.types.size()));
    for (const auto& type : fixed.types) {
        w.U16(static_cast<std::uint16_t>(type.size() / 2));
        w.Bytes(type);
    }
    for (std::size_t i : TimeOrder(commands_, [](const ScriptCommandEntry& c) { return c.presentationTimeMs; })) {
        const ScriptCommandEntry& c = commands_[i];
        w.U32(c.presentationTimeMs);
        w.U16(c.type);
        w.U16(static_cast<std::uint16_t>(c.name.size() / 2));
        w.Bytes(c.name);
    }
    w.PatchU64(start + 16, w.Position() - start);
}

void TimedHeaderEntries::PlaceInput(std::size_t input, std::int64_t shiftMs, std::vector<std::uint8_t>& bytes)
{
    for (MarkerEntry& m : markers_)
        if (m.input == input && !m.placed) {
            m.presentationTime = ShiftedTime(m.presentationTime, shiftMs);
            m.placed = true;
        }
    for (ScriptCommandEntry& c : commands_)
        if (c.input == input && !c.placed) {
            c.presentationTimeMs = ShiftedMs(c.presentationTimeMs, shiftMs);
            c.placed = true;
        }
    // Same entries, same sizes: the objects are rewritten over themselves.
    std::vector<std::uint8_t> scratch;
    if (markerObjectAt_) {
        SerializeMarkers(scratch);
        std::copy(scratch.begin(), scratch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(*markerObjectAt_));
        for (std::size_t& at : markerFieldsAt_) at += *markerObjectAt_;
        scratch.clear();
    }
    if (commandObjectAt_) {
        SerializeScriptCommands(scratch);
        std::copy(scratch.begin(), scratch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(*commandObjectAt_));
    }
}

void TimedHeaderEntries::SetMarkerPlace(std::size_t index, std::uint64_t packetOffset, std::uint32_t sendTimeMs,
                                        std::vector<std::uint8_t>& bytes)
{
    MarkerEntry& m = markers_.at(index);
    m.packetOffset = packetOffset;
    m.sendTimeMs = sendTimeMs;
    ByteWriter w(bytes);
    w.PatchU64(markerFieldsAt_.at(index), packetOffset);
    w.PatchU32(markerFieldsAt_.at(index) + 8 + 8 + 2, sendTimeMs);
}

}  // namespace kestrine::asf
