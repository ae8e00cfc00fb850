#include "asf/PlaybackStreams.h"

#include <algorithm>
#include <set>

#include "asf/ByteReader.h"
#include "asf/FormatError.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {
namespace {

constexpr std::size_t kObjectHeader = 24;

std::vector<std::uint16_t> ReadStreamList(ByteReader& r)
{
    const std::uint16_t count = r.U16();
    std::vector<std::uint16_t> streams;
    for (std::uint16_t i = 0; i < count; ++i) streams.push_back(r.U16());
    return streams;
}

// Bitrate and Advanced Mutual Exclusion share one layout: the exclusion type, then a stream list.
ExclusionGroup ParseStreamExclusion(const RawObject& object)
{
    ByteReader r(object.bytes, "Mutual Exclusion Object");
    r.Skip(kObjectHeader);
    ExclusionGroup group;
    group.byBitrate = r.ReadGuid() == guids::kMutexBitrate;
    for (std::uint16_t s : ReadStreamList(r)) group.alternatives.push_back({s});
    return group;
}

ExclusionGroup ParseGroupExclusion(const RawObject& object)
{
    ByteReader r(object.bytes, "Group Mutual Exclusion Object");
    r.Skip(kObjectHeader);
    ExclusionGroup group;
    group.byBitrate = r.ReadGuid() == guids::kMutexBitrate;
    const std::uint16_t records = r.U16();
    for (std::uint16_t i = 0; i < records; ++i) group.alternatives.push_back(ReadStreamList(r));
    return group;
}

std::uint64_t Bitrate(const Header& h, std::uint16_t stream)
{
    for (const StreamBitrate& b : h.streamBitrates)
        if (b.streamNumber == stream && b.averageBitrate > 0) return b.averageBitrate;
    if (const auto* ext = h.FindExtendedStreamProperties(stream); ext && ext->dataBitrate > 0) return ext->dataBitrate;
    if (const auto* s = h.FindStream(stream); s && s->audio) return std::uint64_t{s->audio->averageBytesPerSecond} * 8;
    return 0;
}

bool Playable(const StreamProperties* s)
{
    return s != nullptr && !s->Encrypted() && (s->kind == StreamKind::Audio || s->kind == StreamKind::Video);
}

}  // namespace

std::vector<ExclusionGroup> ExclusionGroups(const Header& header)
{
    std::vector<ExclusionGroup> groups;
    const auto take = [&](const RawObject& object) {
        try {
            if (object.id == guids::kBitrateMutualExclusion || object.id == guids::kAdvancedMutualExclusion)
                groups.push_back(ParseStreamExclusion(object));
            else if (object.id == guids::kGroupMutualExclusion)
                groups.push_back(ParseGroupExclusion(object));
        } catch (const FormatError&) {
            // A damaged group excludes nothing: every stream stays a candidate.
        }
    };
    for (const RawObject& object : header.objects) take(object);
    for (const RawObject& object : header.extension.objects) take(object);
    return groups;
}

std::vector<std::uint16_t> StreamPriorities(const Header& header)
{
    for (const RawObject& object : header.extension.objects) {
        if (object.id != guids::kStreamPrioritization) continue;
        try {
            ByteReader r(object.bytes, "Stream Prioritization Object");
            r.Skip(kObjectHeader);
            const std::uint16_t count = r.U16();
            std::vector<std::uint16_t> order;
            for (std::uint16_t i = 0; i < count; ++i) {
                order.push_back(r.U16());
                r.U16();  // priority flags: whether the stream is mandatory
            }
            return order;
        } catch (const FormatError&) {
            return {};
        }
    }
    return {};
}

bool IsProtected(const Header& header)
{
    const auto encryption = [](const RawObject& o) {
        return o.id == guids::kContentEncryption || o.id == guids::kExtendedContentEncryption || o.id == guids::kAdvancedContentEncryption;
    };
    return std::any_of(header.objects.begin(), header.objects.end(), encryption) ||
           std::any_of(header.extension.objects.begin(), header.extension.objects.end(), encryption) ||
           std::any_of(header.streams.begin(), header.streams.end(), [](const StreamProperties& s) { return s.Encrypted(); });
}

std::vector<std::uint16_t> PlaybackStreams(const Header& header)
{
    std::set<std::uint16_t> excluded;
    for (const ExclusionGroup& group : ExclusionGroups(header)) {
        const std::vector<std::uint16_t>* chosen = nullptr;
        std::uint64_t best = 0;
        for (const auto& alternative : group.alternatives) {
            if (!std::any_of(alternative.begin(), alternative.end(), [&](std::uint16_t s) { return Playable(header.FindStream(s)); }))
                continue;
            std::uint64_t rate = 0;
            for (std::uint16_t s : alternative) rate += Bitrate(header, s);
            if (!chosen || (group.byBitrate && rate > best)) {
                chosen = &alternative;
                best = rate;
            }
        }
        for (const auto& alternative : group.alternatives)
            if (&alternative != chosen) excluded.insert(alternative.begin(), alternative.end());
    }

    std::vector<std::uint16_t> order;
    for (std::uint16_t s : StreamPriorities(header))
        if (std::find(order.begin(), order.end(), s) == order.end()) order.push_back(s);
    std::vector<std::uint16_t> rest;
    for (const StreamProperties& s : header.streams)
        if (std::find(order.begin(), order.end(), s.number) == order.end()) rest.push_back(s.number);
    std::sort(rest.begin(), rest.end());
    order.insert(order.end(), rest.begin(), rest.end());

    std::vector<std::uint16_t> chosen;
    bool video = false;
    bool audio = false;
    for (std::uint16_t number : order) {
        const StreamProperties* s = header.FindStream(number);
        if (!Playable(s) || excluded.count(number)) continue;
        bool& taken = s->kind == StreamKind::Video ? video : audio;
        if (taken) continue;
        taken = true;
        chosen.push_back(number);
    }
    return chosen;
}

}  // namespace kestrine::asf
