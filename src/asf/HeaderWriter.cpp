#include "asf/HeaderWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <stdexcept>

#include "asf/ByteReader.h"
#include "asf/ByteWriter.h"
#include "asf/FormatError.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {

namespace {

constexpr std::size_t kObjectHeader = 24;
constexpr std::size_t kFilePropertiesSize = 104;
// Offsets of File Properties fields within the object.
constexpr std::size_t kFileIdAt = 24, kFileSizeAt = 40, kCreationAt = 48, kPacketsAt = 56, kPlayAt = 64,
                      kSendAt = 72, kFlagsAt = 88, kMinPacketAt = 92, kMaxPacketAt = 96;

void AppendObject(ByteWriter& w, const Guid& id, std::span<const std::uint8_t> body)
{
    w.GuidValue(id);
    w.U64(kObjectHeader + body.size());
    w.Bytes(body);
}

std::span<const std::uint8_t> Body(const RawObject& object)
{
    if (object.bytes.size() < kObjectHeader) throw FormatError("a header object is shorter than its own header");
    return std::span(object.bytes).subspan(kObjectHeader);
}

void WriteHeaderExtension(ByteWriter& w, const RawObject& object, const HeaderPlan& plan)
{
    ByteReader r(Body(object), "Header Extension Object");
    const Guid reserved1 = r.ReadGuid();
    const std::uint16_t reserved2 = r.U16();
    const std::uint32_t dataSize = r.U32();
    ByteReader children = r.Sub(dataSize, "Header Extension data");

    std::vector<std::uint8_t> kept;
    ByteWriter k(kept);
    while (!children.AtEnd()) {
        const std::size_t at = children.Position();
        const Guid id = children.ReadGuid();
        const std::uint64_t size = children.U64();
        if (size < kObjectHeader || size - kObjectHeader > children.Remaining())
            throw FormatError("a Header Extension child object runs past its parent");
        children.Seek(at);
        const auto bytes = children.Bytes(static_cast<std::size_t>(size));
        if (!KeepHeaderExtensionObject(id, plan.written)) continue;
        if (id == guids::kExtendedStreamProperties && bytes.size() >= kObjectHeader + 16) {
            // Start and end times describe the source's timeline; 0 says "not given", which stays true.
            const std::size_t keptAt = k.Position();
            k.Bytes(bytes);
            std::fill_n(kept.begin() + static_cast<std::ptrdiff_t>(keptAt + kObjectHeader), 16, std::uint8_t{0});
        } else {
            k.Bytes(bytes);
        }
    }
    w.GuidValue(guids::kHeaderExtension);
    w.U64(kObjectHeader + 16 + 2 + 4 + kept.size());
    w.GuidValue(reserved1);
    w.U16(reserved2);
    w.U32(static_cast<std::uint32_t>(kept.size()));
    w.Bytes(kept);
}

}  // namespace

BuiltHeader BuildHeader(const Header& source, const HeaderPlan& plan)
{
    BuiltHeader built;
    std::vector<std::uint8_t>& out = built.bytes;
    ByteWriter w(out);
    w.GuidValue(guids::kHeader);
    w.U64(0);
    w.U32(0);
    w.U8(source.reserved1);
    w.U8(source.reserved2);

    built.timedEntries.Add(source, 0, plan.span);
    for (std::size_t i = 0; i < plan.laterInputs.size(); ++i)
        built.timedEntries.Add(*plan.laterInputs[i].header, i + 1, plan.laterInputs[i].span, /*place=*/false);
    bool wroteMarkers = false;
    bool wroteScriptCommands = false;

    std::uint32_t children = 0;
    std::uint64_t paddingKept = 0;
    bool haveFileProperties = false;
    for (const RawObject& object : source.objects) {
        if (object.id == guids::kFileProperties) {
            if (haveFileProperties) continue;  // a second one would contradict the first
            if (object.bytes.size() < kFilePropertiesSize) throw FormatError("the File Properties Object is truncated");
            haveFileProperties = true;
            built.filePropertiesAt = w.Position();
            w.Bytes(object.bytes);
            const std::size_t at = built.filePropertiesAt;
            std::copy(plan.fileId.bytes.begin(), plan.fileId.bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at + kFileIdAt));
            w.PatchU64(at + kCreationAt, plan.creationDate);
            w.PatchU32(at + kFlagsAt, FilePropertiesFlags(source.fileProperties.flags, plan.seekable));
            w.PatchU32(at + kMinPacketAt, plan.packetSize);
            w.PatchU32(at + kMaxPacketAt, plan.packetSize);
        } else if (object.id == guids::kHeaderExtension) {
            WriteHeaderExtension(w, object, plan);
        } else if (object.id == guids::kMarker) {
            if (wroteMarkers) continue;  // one object holds them all
            built.timedEntries.WriteMarkerObject(out);
            wroteMarkers = true;
        } else if (object.id == guids::kScriptCommand) {
            if (wroteScriptCommands) continue;
            built.timedEntries.WriteScriptCommandObject(out);
            wroteScriptCommands = true;
        } else if (object.id == guids::kDigitalSignature) {
            continue;
        } else if (object.id == guids::kPadding && plan.packetsAlignedWith) {
            continue;  // replaced by the one that aligns the packets
        } else {
            if (object.id == guids::kPadding) paddingKept += object.bytes.size();
            AppendObject(w, object.id, Body(object));
        }
        ++children;
    }
    if (!haveFileProperties) throw FormatError("the header has no File Properties Object");
    // Only a later input had them.
    if (!wroteMarkers && built.timedEntries.HasMarkerObject()) {
        built.timedEntries.WriteMarkerObject(out);
        ++children;
    }
    if (!wroteScriptCommands && built.timedEntries.HasScriptCommandObject()) {
        built.timedEntries.WriteScriptCommandObject(out);
        ++children;
    }
    if (!plan.packetsAlignedWith && paddingKept < plan.headerRoom) {
        const std::uint64_t pad = std::max<std::uint64_t>(plan.headerRoom - paddingKept, kObjectHeader);
        AppendObject(w, guids::kPadding, std::vector<std::uint8_t>(static_cast<std::size_t>(pad - kObjectHeader), 0));
        ++children;
    }
    if (plan.packetsAlignedWith) {
        constexpr std::uint64_t kBlock = 4096, kDataObjectHeader = 50;
        std::uint64_t pad = (*plan.packetsAlignedWith - (out.size() + kDataObjectHeader)) % kBlock;
        if (pad != 0 && pad < kObjectHeader) pad += kBlock;
        if (pad != 0) {
            const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(pad - kObjectHeader), 0);
            AppendObject(w, guids::kPadding, zeros);
            ++children;
        }
    }
    w.PatchU64(16, out.size());
    w.PatchU32(24, children);
    return built;
}

void BuiltHeader::SetTotals(const HeaderTotals& totals)
{
    ByteWriter w(bytes);
    w.PatchU64(filePropertiesAt + kFileSizeAt, totals.fileSize);
    w.PatchU64(filePropertiesAt + kPacketsAt, totals.packetCount);
    w.PatchU64(filePropertiesAt + kPlayAt, totals.playDuration);
    w.PatchU64(filePropertiesAt + kSendAt, totals.sendDuration);
}

Guid NewFileId()
{
    std::random_device device;
    std::mt19937_64 generator((std::uint64_t{device()} << 32) ^ device() ^
                              static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    Guid g;
    for (std::size_t i = 0; i < 16; i += 8) {
        const std::uint64_t v = generator();
        for (std::size_t j = 0; j < 8; ++j) g.bytes[i + j] = static_cast<std::uint8_t>(v >> (8 * j));
    }
    g.bytes[7] = static_cast<std::uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4 (the third group is stored little-endian)
    g.bytes[8] = static_cast<std::uint8_t>((g.bytes[8] & 0x3F) | 0x80);  // variant 1
    return g;
}

std::uint64_t CurrentFileTime()
{
    constexpr std::int64_t kUnixEpochIn1601 = 11'644'473'600;  // seconds from 1601-01-01 to 1970-01-01
    const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    const std::int64_t units = std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100;
    return static_cast<std::uint64_t>(units + kUnixEpochIn1601 * 10'000'000);
}

}  // namespace kestrine::asf
