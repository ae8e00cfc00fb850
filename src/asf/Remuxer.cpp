#include "asf/Remuxer.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>

#include "asf/AudioObjectEnds.h"
#include "asf/ByteWriter.h"
#include "asf/DataPacket.h"
#include "asf/DataPacketWriter.h"
#include "asf/FormatError.h"
#include "asf/KnownGuids.h"
#include "asf/MediaObjects.h"
#include "asf/PacketReader.h"
#include "asf/ResumePoint.h"
#include "asf/SimpleIndexWriter.h"
#include "asf/SpanSearch.h"

namespace kestrine::asf {

namespace {

constexpr std::size_t kDataObjectHeaderSize = 50;
constexpr std::uint64_t kMaxFrameDurationMs = 10'000;  // beyond this a per-frame figure is not believable

// Where a file read to its end ends, when its header says so credibly: not for broadcast files (whose
// durations mean nothing) or truncated ones, not before its last object, nor implausibly long after.
std::optional<std::int64_t> CredibleEndMs(const AsfFile& file, std::optional<std::uint32_t> latestStartMs)
{
    const FileProperties& fp = file.Header().fileProperties;
    if (fp.Broadcast() || file.Data().truncated || !latestStartMs) return std::nullopt;
    const std::uint64_t end = fp.playDuration / 10000;
    if (end < *latestStartMs || end - *latestStartMs > kMaxFrameDurationMs) return std::nullopt;
    return static_cast<std::int64_t>(end);
}

// The media object of one stream being collected from its fragments.
struct Assembly {
    bool active = false;
    std::uint32_t number = 0;
    std::uint32_t size = 0;
    std::uint32_t presentationMs = 0;
    bool keyFrame = false;
    bool afterDamage = false;  // a damaged packet came since the last object start
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> extension;
};

// A media object whose packets are passed on as they are, with their times and numbers patched:
// what is known of it while its fragments come in.
struct PassedObject {
    bool open = false;
    std::uint32_t sourceNumber = 0;
    std::uint32_t size = 0;
    std::uint32_t received = 0;
    std::uint32_t presentationMs = 0;  // the source's
    bool keyFrame = false;
    std::uint32_t number = 0;          // the output's
    std::int64_t outMs = 0;
    std::uint64_t firstPacket = 0;     // output packet of its first byte
};

// Padding in headers whose size is free: a join appending to the file later can grow its header
// into it by some dozens of markers or script commands.
constexpr std::uint32_t kHeaderRoom = 2048;

// The width in bytes of a field of length type 0..3.
constexpr unsigned FieldWidth(unsigned type) { return type == 3 ? 4 : type; }

// Per output stream: numbering, timing and the index.
struct StreamState {
    const StreamProperties* properties = nullptr;
    std::uint32_t nextNumber = 0;
    std::optional<std::int64_t> lastOutputMs;
    std::int64_t lastDeltaMs = 0;
    std::uint64_t fallbackDurationMs = 0;  // from the headers: time per frame, or 0
    std::optional<SimpleIndexWriter> index;
    RemuxStreamResult result;
};

// One complete media object ready to be written.
struct ObjectView {
    std::uint8_t stream = 0;
    std::uint32_t presentationMs = 0;
    bool keyFrame = false;
    std::uint32_t size = 0;
    std::span<const std::uint8_t> data;
    std::span<const std::uint8_t> extension;
    std::optional<std::uint32_t> sourceNumber;  // its media object number in the input, where it has one
};

class RemuxRun {
public:
    RemuxRun(const std::vector<RemuxSource>& sources, OutputSink& out, const RemuxOptions& options)
        : sources_(sources), out_(out), options_(options)
    {
    }

    RemuxResult Run();

private:
    void Begin();
    void CopySource(std::size_t index);
    void WriteObject(const ObjectView& object, const RemuxSource& source, std::int64_t shiftMs,
                     std::vector<bool>& waitingForKey);
    // Whether an object is written: in the span, after its stream's first keyframe where one is
    // awaited, and with a time ASF can hold once shifted. Counts it and gives it its number.
    struct Admitted {
        StreamState* stream = nullptr;
        std::int64_t outMs = 0;
        std::uint32_t number = 0;
    };
    std::optional<Admitted> Admit(std::uint8_t stream, std::uint32_t presentationMs, bool keyFrame,
                                  const RemuxSource& source, std::int64_t shiftMs, std::vector<bool>& waitingForKey,
                                  std::optional<std::uint32_t> sourceNumber);
    // The bookkeeping of an object written: counts, index, end time, markers.
    void Account(const Admitted& a, std::uint8_t stream, std::uint32_t presentationMs, bool keyFrame,
                 std::uint32_t size, PacketPlacement where);
    bool Passable(const ParsedPacket& parsed, std::size_t packetBytes, const RemuxSource& source, std::int64_t shiftMs,
                  const std::vector<bool>& waitingForKey, const std::vector<Assembly>& assembly,
                  const std::vector<bool>& declared) const;
    void PassOn(std::span<std::uint8_t> packet, std::uint64_t fileOffset, const ParsedPacket& parsed,
                const RemuxSource& source, std::int64_t shiftMs, std::vector<bool>& waitingForKey,
                std::vector<Assembly>& assembly);
    void ContinuePassed(const Payload& pl, std::span<const std::uint8_t> packet);
    // Copies the first input unread up to its resume point, if it has one; returns where to read on.
    std::uint64_t SkipOwnFirstInput(const AsfFile& file);
    void PacketEmitted(std::uint64_t number, std::uint32_t sendTime);
    void ObjectBegins(std::uint8_t stream, std::uint32_t presentationMs, std::uint32_t bytes, std::int64_t shiftMs);
    void ExtendEnd(std::optional<std::uint32_t> sourceEndMs, std::int64_t shiftMs);
    void Finish();
    std::uint64_t ObjectDurationMs(const StreamState& s) const;

    const std::vector<RemuxSource>& sources_;
    OutputSink& out_;
    const RemuxOptions& options_;
    const AsfFile* first_ = nullptr;
    RemuxResult result_;
    BuiltHeader header_;
    Guid fileId_;
    std::uint64_t dataAt_ = 0;
    std::optional<DataPacketWriter> writer_;
    std::map<std::uint8_t, StreamState> streams_;
    std::int64_t endMs_ = 0;  // output presentation time where the media written so far ends
    std::optional<AudioObjectEnds> audioEnds_;  // of the input being copied
    std::optional<std::uint32_t> latestStartMs_;  // the latest object start seen in that input (its own time)
    bool wroteAny_ = false;
    // Markers waiting for the packet they point at, and packets whose send time a marker needs.
    std::size_t markersPlaced_ = 0;
    std::vector<bool> markerPlaced_;
    std::map<std::uint64_t, std::vector<std::size_t>> markersByPacket_;
    std::uint64_t packetsEmitted_ = 0;
    std::vector<PassedObject> passed_ = std::vector<PassedObject>(128);
    bool firstKeepsTimes_ = false;  // the first input's packets keep their times and places
};

RemuxResult RemuxRun::Run()
{
    if (sources_.empty() || !sources_.front().file) throw std::invalid_argument("nothing to rewrite");
    first_ = sources_.front().file;
    Begin();
    for (std::size_t i = 0; i < sources_.size(); ++i) CopySource(i);
    Finish();
    return result_;
}

void RemuxRun::Begin()
{
    const Header& h = first_->Header();
    result_.prerollMs = h.fileProperties.prerollMs;
    result_.packetSize = first_->Data().packetSize;
    if (result_.packetSize > 0xFFFF)
        throw FormatError("packets of " + std::to_string(result_.packetSize) + " bytes cannot be rewritten");

    std::size_t videoStreams = 0;
    for (const StreamProperties& s : h.streams) {
        if (s.number < 1 || s.number > 127 || streams_.count(static_cast<std::uint8_t>(s.number))) continue;
        StreamState state;
        state.properties = &s;
        state.result.number = s.number;
        state.result.kind = s.kind;
        if (const auto* e = h.FindExtendedStreamProperties(s.number))
            if (e->averageTimePerFrame > 0 && e->averageTimePerFrame / 10000 <= kMaxFrameDurationMs)
                state.fallbackDurationMs = e->averageTimePerFrame / 10000;
        if (s.kind == StreamKind::Video) {
            ++videoStreams;
            if (options_.writeIndex) state.index.emplace();
        }
        streams_.emplace(static_cast<std::uint8_t>(s.number), std::move(state));
    }

    fileId_ = NewFileId();
    HeaderPlan plan;
    plan.fileId = fileId_;
    plan.creationDate = CurrentFileTime();
    plan.packetSize = result_.packetSize;
    plan.written.simpleIndex = options_.writeIndex && videoStreams > 0;
    plan.seekable = IsSeekable(videoStreams, options_.writeIndex ? videoStreams : 0);
    plan.span = sources_.front().span;
    plan.headerRoom = kHeaderRoom;
    const RemuxSource& front = sources_.front();
    if (front.firstPacket == 0 && !front.alignToPrevious && !front.startOnKeyframe && front.span.shiftMs == 0 &&
        front.span.fromMs <= 0 && front.span.toMs == std::numeric_limits<std::int64_t>::max()) {
        plan.packetsAlignedWith = first_->Data().packetsOffset;
        firstKeepsTimes_ = true;
    }
    for (std::size_t i = 1; i < sources_.size(); ++i) plan.laterInputs.push_back({&sources_[i].file->Header(), sources_[i].span});
    header_ = BuildHeader(h, plan);
    markerPlaced_.assign(header_.Markers().size(), false);
    out_.Write(header_.bytes);

    dataAt_ = out_.Size();
    std::vector<std::uint8_t> data;
    ByteWriter w(data);
    w.GuidValue(guids::kData);
    w.U64(0);
    w.GuidValue(fileId_);
    w.U64(0);
    w.U16(0x0101);
    out_.Write(data);

    PacketLayout layout;
    layout.packetSize = result_.packetSize;
    layout.errorCorrection = PacketErrorCorrection(*first_);
    layout.sendTimeLead = static_cast<std::uint32_t>(std::min<std::uint64_t>(result_.prerollMs, UINT32_MAX));
    writer_.emplace(layout, [this](const FinishedPacket& p) {
        out_.Write(p.bytes);
        PacketEmitted(p.number, p.sendTime);
    });
    endMs_ = static_cast<std::int64_t>(result_.prerollMs);
}

std::uint64_t RemuxRun::ObjectDurationMs(const StreamState& s) const
{
    // Frames last until the next one, or the stated time per frame when there is no next. Audio
    // objects' ends come from the source (AudioObjectEnds); commands take no time.
    if (s.properties->kind == StreamKind::Audio || s.properties->kind == StreamKind::Command) return 0;
    if (s.lastDeltaMs > 0) return static_cast<std::uint64_t>(s.lastDeltaMs);
    return s.fallbackDurationMs;
}

void RemuxRun::ObjectBegins(std::uint8_t stream, std::uint32_t presentationMs, std::uint32_t bytes, std::int64_t shiftMs)
{
    latestStartMs_ = std::max(latestStartMs_.value_or(presentationMs), presentationMs);
    ExtendEnd(audioEnds_->Begins(stream, presentationMs, bytes), shiftMs);
}

void RemuxRun::ExtendEnd(std::optional<std::uint32_t> sourceEndMs, std::int64_t shiftMs)
{
    if (sourceEndMs) endMs_ = std::max(endMs_, std::int64_t{*sourceEndMs} + shiftMs);
}

void RemuxRun::PacketEmitted(std::uint64_t number, std::uint32_t sendTime)
{
    packetsEmitted_ = number + 1;
    auto it = markersByPacket_.find(number);
    if (it != markersByPacket_.end()) {
        for (std::size_t m : it->second) header_.SetMarkerPlace(m, number * result_.packetSize, sendTime);
        markersByPacket_.erase(it);
    }
}

std::optional<RemuxRun::Admitted> RemuxRun::Admit(std::uint8_t stream, std::uint32_t presentationMs, bool keyFrame,
                                                  const RemuxSource& source, std::int64_t shiftMs,
                                                  std::vector<bool>& waitingForKey,
                                                  std::optional<std::uint32_t> sourceNumber)
{
    auto it = streams_.find(stream);
    if (it == streams_.end()) return std::nullopt;  // a stream the first input's header does not describe
    if (!source.span.Contains(presentationMs)) return std::nullopt;
    if (waitingForKey[stream]) {
        if (!keyFrame) return std::nullopt;
        waitingForKey[stream] = false;
    }
    const std::int64_t outMs = std::int64_t{presentationMs} + shiftMs;
    if (outMs < 0 || outMs > std::int64_t{UINT32_MAX})
        throw FormatError("a presentation time falls outside what ASF can store after shifting (" +
                          std::to_string(outMs) + " ms)");
    wroteAny_ = true;
    // A first input that keeps its times keeps its numbers too, so that its packets keep their bytes;
    // later inputs number on from there.
    if (sourceNumber && firstKeepsTimes_ && &source == &sources_.front()) it->second.nextNumber = *sourceNumber;
    return Admitted{&it->second, outMs, it->second.nextNumber++};
}

void RemuxRun::Account(const Admitted& a, std::uint8_t stream, std::uint32_t presentationMs, bool keyFrame,
                       std::uint32_t size, PacketPlacement where)
{
    StreamState& s = *a.stream;
    const std::int64_t outMs = a.outMs;
    ++s.result.objects;
    if (keyFrame && s.properties->kind == StreamKind::Video) {
        ++s.result.keyFrames;
        if (s.index) s.index->AddKeyframe(static_cast<std::uint64_t>(outMs) * 10000, where.firstPacket, where.lastPacket);
    }
    if (s.lastOutputMs && outMs > *s.lastOutputMs) s.lastDeltaMs = outMs - *s.lastOutputMs;
    if (!s.lastOutputMs || outMs > *s.lastOutputMs) s.lastOutputMs = outMs;
    endMs_ = std::max(endMs_, outMs + static_cast<std::int64_t>(ObjectDurationMs(s)));
    audioEnds_->Written(stream, presentationMs, size);

    if (markersPlaced_ < markerPlaced_.size()) {
        const std::vector<MarkerEntry>& markers = header_.Markers();
        for (std::size_t m = 0; m < markers.size(); ++m) {
            if (markerPlaced_[m] || !markers[m].placed || markers[m].presentationTime > static_cast<std::uint64_t>(outMs) * 10000)
                continue;
            markerPlaced_[m] = true;
            ++markersPlaced_;
            if (where.firstPacket < packetsEmitted_) {
                // Already on its way out: its send time is about the presentation time less the lead.
                const std::int64_t send = std::max<std::int64_t>(0, outMs - static_cast<std::int64_t>(result_.prerollMs));
                header_.SetMarkerPlace(m, where.firstPacket * result_.packetSize, static_cast<std::uint32_t>(send));
            } else {
                markersByPacket_[where.firstPacket].push_back(m);
            }
        }
    }
}

void RemuxRun::WriteObject(const ObjectView& object, const RemuxSource& source, std::int64_t shiftMs,
                           std::vector<bool>& waitingForKey)
{
    const auto a =
        Admit(object.stream, object.presentationMs, object.keyFrame, source, shiftMs, waitingForKey, object.sourceNumber);
    if (!a) return;
    PayloadPiece piece;
    piece.streamNumber = object.stream;
    piece.keyFrame = object.keyFrame;
    piece.mediaObjectNumber = a->number;
    piece.offsetIntoMediaObject = 0;
    piece.mediaObjectSize = object.size;
    piece.presentationTime = static_cast<std::uint32_t>(a->outMs);
    piece.replicatedExtension = object.extension;
    piece.data = object.data;
    const PacketPlacement where = writer_->Add(piece);
    Account(*a, object.stream, object.presentationMs, object.keyFrame, object.size, where);
}

// A packet is passed on as it is, with only its times and object numbers patched, when every payload
// in it would be written whole and unchanged: declared streams, objects in the span, no object
// dropped, fragments continuing what came before, and fields wide enough for the patched values.
bool RemuxRun::Passable(const ParsedPacket& parsed, std::size_t packetBytes, const RemuxSource& source,
                        std::int64_t shiftMs, const std::vector<bool>& waitingForKey,
                        const std::vector<Assembly>& assembly, const std::vector<bool>& declared) const
{
    if (packetBytes != result_.packetSize || parsed.payloads.empty()) return false;
    const unsigned offsetWidth = FieldWidth((parsed.propertyFlags >> 2) & 0x3u);
    const unsigned numberWidth = FieldWidth((parsed.propertyFlags >> 4) & 0x3u);
    if (numberWidth == 0) return false;
    // What this packet's payloads change, per stream, in the order they come.
    struct Local {
        std::uint8_t stream;
        bool open;
        std::uint32_t number, size, received;
        bool waiting;
    };
    Local locals[8];
    std::size_t used = 0;
    auto local = [&](std::uint8_t stream) -> Local* {
        for (std::size_t i = 0; i < used; ++i)
            if (locals[i].stream == stream) return &locals[i];
        if (used == std::size(locals)) return nullptr;
        Local& l = locals[used++];
        const PassedObject& p = passed_[stream];
        const Assembly& a = assembly[stream];
        l.stream = stream;
        l.open = p.open || a.active;
        l.number = p.open ? p.sourceNumber : a.number;
        l.size = p.open ? p.size : a.size;
        l.received = p.open ? p.received : static_cast<std::uint32_t>(a.data.size());
        l.waiting = waitingForKey[stream];
        return &l;
    };
    auto admissible = [&](Local& l, std::uint32_t presentationMs, bool keyFrame) {
        if (!source.span.Contains(presentationMs)) return false;
        if (l.waiting && !keyFrame) return false;
        l.waiting = false;
        const std::int64_t outMs = std::int64_t{presentationMs} + shiftMs;
        return outMs >= 0 && outMs <= std::int64_t{UINT32_MAX};
    };
    for (const Payload& pl : parsed.payloads) {
        if (!declared[pl.streamNumber]) return false;
        Local* l = local(pl.streamNumber);
        if (!l) return false;
        if (pl.compressed) {
            if (l->open || offsetWidth < 4 || !admissible(*l, pl.presentationTimeMs, pl.keyFrame)) return false;
            continue;
        }
        if (pl.replicatedDataLength < 8) return false;
        if (pl.offsetIntoMediaObject == 0) {
            if (l->open || pl.mediaObjectSize < pl.dataLength || pl.mediaObjectSize > MediaObjectAssembler::kMaxObjectSize)
                return false;
            if (!admissible(*l, pl.presentationTimeMs, pl.keyFrame)) return false;
            if (pl.mediaObjectSize > pl.dataLength) {
                l->open = true;
                l->number = pl.mediaObjectNumber;
                l->size = pl.mediaObjectSize;
                l->received = pl.dataLength;
            }
            continue;
        }
        if (!l->open || l->number != pl.mediaObjectNumber || l->size != pl.mediaObjectSize ||
            l->received != pl.offsetIntoMediaObject || pl.dataLength > l->size - l->received)
            return false;
        const Assembly& a = assembly[pl.streamNumber];
        if (a.active && !passed_[pl.streamNumber].open && !admissible(*l, a.presentationMs, a.keyFrame || pl.keyFrame))
            return false;
        l->received += pl.dataLength;
        l->open = l->received < l->size;
    }
    return true;
}

void RemuxRun::PassOn(std::span<std::uint8_t> packet, std::uint64_t fileOffset, const ParsedPacket& parsed,
                      const RemuxSource& source, std::int64_t shiftMs, std::vector<bool>& waitingForKey,
                      std::vector<Assembly>& assembly)
{
    const AsfFile& file = *source.file;
    const unsigned replicatedWidth = FieldWidth(parsed.propertyFlags & 0x3u);
    const unsigned offsetWidth = FieldWidth((parsed.propertyFlags >> 2) & 0x3u);
    const unsigned numberWidth = FieldWidth((parsed.propertyFlags >> 4) & 0x3u);
    const std::uint32_t numberMask = numberWidth >= 4 ? UINT32_MAX : (1u << (8 * numberWidth)) - 1;
    // Objects begun in packets that were rebuilt go on here: what was collected of them is written
    // first, as the first part of the object, so that this packet's fragments continue it.
    for (const Payload& pl : parsed.payloads) {
        Assembly& a = assembly[pl.streamNumber];
        if (pl.compressed || pl.offsetIntoMediaObject == 0 || !a.active || passed_[pl.streamNumber].open) continue;
        const auto admitted =
            Admit(pl.streamNumber, a.presentationMs, a.keyFrame || pl.keyFrame, source, shiftMs, waitingForKey, a.number);
        PayloadPiece piece;
        piece.streamNumber = pl.streamNumber;
        piece.keyFrame = a.keyFrame || pl.keyFrame;
        piece.mediaObjectNumber = admitted->number;
        piece.mediaObjectSize = a.size;
        piece.presentationTime = static_cast<std::uint32_t>(admitted->outMs);
        piece.replicatedExtension = a.extension;
        piece.data = a.data;
        const PacketPlacement where = writer_->Add(piece);
        PassedObject& p = passed_[pl.streamNumber];
        p.open = true;
        p.sourceNumber = a.number;
        p.size = a.size;
        p.received = static_cast<std::uint32_t>(a.data.size());
        p.presentationMs = a.presentationMs;
        p.keyFrame = piece.keyFrame;
        p.number = admitted->number;
        p.outMs = admitted->outMs;
        p.firstPacket = where.firstPacket;
        a.active = false;
    }
    if (!writer_->Idle()) writer_->Drain();

    // Each field is stored only when its value changes, so that a packet that keeps its bytes can
    // be copied from the input as it is.
    bool changed = false;
    auto patch = [&changed](std::uint8_t* at, std::uint64_t value, unsigned width) {
        std::uint64_t old = 0;
        for (unsigned i = 0; i < width; ++i) old |= std::uint64_t{at[i]} << (8 * i);
        if (old == value) return;
        ByteWriter::Store(at, value, width);
        changed = true;
    };
    const std::size_t sendAt = parsed.payloadParsingEnd - (parsed.multiplePayloads ? 1 : 0) - 6;
    const std::int64_t send = std::clamp<std::int64_t>(std::int64_t{parsed.sendTimeMs} + shiftMs, 0, UINT32_MAX);
    std::uint32_t sendTime = static_cast<std::uint32_t>(send);
    const std::uint64_t number = writer_->AddExternal(sendTime, parsed.durationMs);
    patch(packet.data() + sendAt, sendTime, 4);

    std::uint32_t groupAt = 0;  // the compressed payload whose header was patched last
    for (const Payload& pl : parsed.payloads) {
        const std::uint8_t stream = pl.streamNumber;
        std::uint8_t* numberField = packet.data() + pl.replicatedDataOffset - replicatedWidth - offsetWidth - numberWidth;
        if (pl.compressed) {
            ObjectBegins(stream, pl.presentationTimeMs, pl.dataLength, shiftMs);
            // The group's number is its first object's; the others follow it.
            const bool groupStart = groupAt != pl.replicatedDataOffset;
            const auto a = Admit(stream, pl.presentationTimeMs, pl.keyFrame, source, shiftMs, waitingForKey,
                                 groupStart ? std::optional(pl.mediaObjectNumber) : std::nullopt);
            if (groupStart) {
                groupAt = pl.replicatedDataOffset;
                patch(numberField, a->number & numberMask, numberWidth);
                patch(packet.data() + pl.replicatedDataOffset - replicatedWidth - offsetWidth,
                      static_cast<std::uint64_t>(a->outMs), offsetWidth);
            }
            Account(*a, stream, pl.presentationTimeMs, pl.keyFrame, pl.dataLength, {number, number});
            continue;
        }
        PassedObject& p = passed_[stream];
        if (pl.offsetIntoMediaObject == 0) {
            ObjectBegins(stream, pl.presentationTimeMs, pl.mediaObjectSize, shiftMs);
            const auto a = Admit(stream, pl.presentationTimeMs, pl.keyFrame, source, shiftMs, waitingForKey,
                                 pl.mediaObjectNumber);
            patch(numberField, a->number & numberMask, numberWidth);
            patch(packet.data() + pl.replicatedDataOffset + 4, static_cast<std::uint64_t>(a->outMs), 4);
            if (pl.mediaObjectSize == pl.dataLength) {
                Account(*a, stream, pl.presentationTimeMs, pl.keyFrame, pl.mediaObjectSize, {number, number});
                continue;
            }
            p.open = true;
            p.sourceNumber = pl.mediaObjectNumber;
            p.size = pl.mediaObjectSize;
            p.received = pl.dataLength;
            p.presentationMs = pl.presentationTimeMs;
            p.keyFrame = pl.keyFrame;
            p.number = a->number;
            p.outMs = a->outMs;
            p.firstPacket = number;
            continue;
        }
        patch(numberField, p.number & numberMask, numberWidth);
        patch(packet.data() + pl.replicatedDataOffset + 4, static_cast<std::uint64_t>(p.outMs), 4);
        p.received += pl.dataLength;
        p.keyFrame = p.keyFrame || pl.keyFrame;
        if (p.received == p.size) {
            p.open = false;
            Account(Admitted{&streams_.at(stream), p.outMs, p.number}, stream, p.presentationMs, p.keyFrame, p.size,
                    {p.firstPacket, number});
        }
    }
    if (changed)
        out_.Write(packet);
    else
        out_.WriteCopyOf(packet, file.File(), fileOffset);
    ++result_.packetsPassedOn;
    PacketEmitted(number, sendTime);
}

// A fragment of an object passed on so far, in a packet that is rebuilt: it continues the object there.
void RemuxRun::ContinuePassed(const Payload& pl, std::span<const std::uint8_t> packet)
{
    PassedObject& p = passed_[pl.streamNumber];
    writer_->ContinueObject(pl.streamNumber, p.number, p.size, p.received);
    PayloadPiece piece;
    piece.streamNumber = pl.streamNumber;
    piece.keyFrame = p.keyFrame || pl.keyFrame;
    piece.mediaObjectNumber = p.number;
    piece.offsetIntoMediaObject = p.received;
    piece.mediaObjectSize = p.size;
    piece.presentationTime = static_cast<std::uint32_t>(p.outMs);
    const auto rep = pl.ReplicatedData(packet);
    if (rep.size() > 8) piece.replicatedExtension = rep.subspan(8);
    piece.data = pl.Data(packet);
    const PacketPlacement where = writer_->Add(piece);
    p.received += pl.dataLength;
    p.keyFrame = piece.keyFrame;
    if (p.received == p.size) {
        p.open = false;
        Account(Admitted{&streams_.at(pl.streamNumber), p.outMs, p.number}, pl.streamNumber, p.presentationMs,
                p.keyFrame, p.size, {p.firstPacket, where.lastPacket});
    }
}

std::uint64_t RemuxRun::SkipOwnFirstInput(const AsfFile& file)
{
    // Only a join's: a copy reads its input anyway. Markers would need the packets' send times.
    if (!options_.resumeOwnFirstInput || sources_.size() < 2 || !firstKeepsTimes_ || !header_.Markers().empty())
        return sources_.front().firstPacket;
    std::optional<std::uint8_t> video;
    for (const auto& [number, s] : streams_) {
        if (s.properties->kind != StreamKind::Video) continue;
        if (video || !s.index) return sources_.front().firstPacket;
        video = number;
    }
    if (!video) return sources_.front().firstPacket;
    const std::optional<ResumePoint> point = FindResumePoint(file, *video);
    if (!point) return sources_.front().firstPacket;
    for (const ResumePoint::Stream& rs : point->streams)
        if (!streams_.count(rs.number)) return sources_.front().firstPacket;

    out_.WriteRangeOf(file.File(), file.Data().packetsOffset, point->packet * file.Data().packetSize);
    writer_->SkipExternal(point->packet, point->sendTimeBefore);
    packetsEmitted_ = point->packet;
    result_.packetsPassedOn += point->packet;
    result_.packetsCopiedUnread = point->packet;
    wroteAny_ = true;
    for (const ResumePoint::Stream& rs : point->streams) {
        streams_.at(rs.number).nextNumber = rs.nextNumber;
        if (!rs.open) continue;
        PassedObject& p = passed_[rs.number];
        p.open = true;
        p.sourceNumber = rs.open->number;
        p.size = rs.open->size;
        p.received = rs.open->received;
        p.presentationMs = rs.open->presentationMs;
        p.keyFrame = rs.open->keyFrame;
        p.number = rs.open->number;
        p.outMs = rs.open->presentationMs;
        p.firstPacket = point->packet - 1;  // not a keyframe: only the index would need where it began
    }
    streams_.at(*video).index->Resume(point->indexEntries, point->keyFrameTime - 1);
    return point->packet;
}

void RemuxRun::CopySource(std::size_t index)
{
    const RemuxSource& source = sources_[index];
    const AsfFile& file = *source.file;
    if (file.Data().packetSize == 0) throw FormatError("the file has no data packets");

    std::int64_t shiftMs = source.span.shiftMs;
    if (source.alignToPrevious) shiftMs = endMs_ - source.earliestPresentationMs;
    result_.inputShiftMs.push_back(shiftMs);
    if (index > 0) header_.PlaceInput(index, shiftMs);

    audioEnds_.emplace(file);
    latestStartMs_.reset();
    const std::int64_t endBefore = endMs_;
    std::vector<bool> waitingForKey(128, false);
    if (source.startOnKeyframe)
        for (const StreamProperties& s : file.Header().streams)
            if (s.kind == StreamKind::Video && s.number < 128) waitingForKey[s.number] = true;

    std::vector<Assembly> assembly(128);
    std::vector<bool> declared(128, false);
    for (const auto& [number, state] : streams_) declared[number] = true;
    const std::uint64_t firstPacket = index == 0 ? SkipOwnFirstInput(file) : source.firstPacket;
    PacketReader reader(file, firstPacket, 1u << 20);
    PacketView packet;
    ParsedPacket parsed;
    const bool bounded = source.span.toMs != std::numeric_limits<std::int64_t>::max();
    // Progress is counted against the packet where reading will stop: the file's end, or about where
    // the span ends.
    const std::uint64_t end = bounded && options_.progress ? FirstPacketSentFrom(file, source.span.toMs) : file.Data().packetCount;
    const std::uint64_t total = end > firstPacket ? end - firstPacket : 0;
    std::uint64_t seen = 0;
    bool fileEnded = true;

    while (reader.Next(packet)) {
        if (options_.progress && (++seen & 1023) == 0 && total > 0)
            options_.progress((static_cast<double>(index) + std::min(1.0, static_cast<double>(seen) / static_cast<double>(total))) /
                              static_cast<double>(sources_.size()));
        try {
            ParseDataPacket(packet.bytes, parsed);
        } catch (const FormatError& e) {
            if (result_.damagedPackets++ == 0)
                result_.firstDamage = file.Path().filename().string() + ", packet " + std::to_string(packet.index) + ": " + e.what();
            for (Assembly& a : assembly) {
                if (a.active) ++result_.droppedObjects;
                a.active = false;
                a.afterDamage = true;
            }
            // Objects passed on so far stay incomplete: players drop them as they would any such.
            for (PassedObject& p : passed_) {
                if (p.open) ++result_.droppedObjects;
                p.open = false;
            }
            continue;
        }
        // Send times never run ahead of presentation: nothing in later packets can still be in the span,
        // though they may still say where the last objects written end.
        if (bounded && std::int64_t{parsed.sendTimeMs} >= source.span.toMs) {
            bool pending = audioEnds_->Waiting(parsed.sendTimeMs);
            for (const Assembly& a : assembly) pending = pending || (a.active && source.span.Contains(a.presentationMs));
            for (const PassedObject& p : passed_) pending = pending || p.open;
            if (!pending) {
                fileEnded = false;
                break;
            }
        }
        if (Passable(parsed, packet.bytes.size(), source, shiftMs, waitingForKey, assembly, declared)) {
            PassOn(reader.Writable(packet), packet.fileOffset, parsed, source, shiftMs, waitingForKey, assembly);
            continue;
        }
        for (const Payload& pl : parsed.payloads) {
            if (!declared[pl.streamNumber]) continue;  // not in the header: nothing to write it as, so never held
            const auto data = pl.Data(packet.bytes);
            ObjectView object;
            object.stream = pl.streamNumber;
            object.keyFrame = pl.keyFrame;
            if (pl.compressed || (pl.offsetIntoMediaObject == 0 && pl.mediaObjectSize <= data.size())) {
                // A whole object in one payload: written straight from the packet.
                Assembly& a = assembly[pl.streamNumber];
                if (a.active) {
                    ++result_.droppedObjects;
                    a.active = false;
                }
                if (passed_[pl.streamNumber].open) {
                    ++result_.droppedObjects;
                    passed_[pl.streamNumber].open = false;
                }
                a.afterDamage = false;
                object.presentationMs = pl.hasPresentationTime ? pl.presentationTimeMs : parsed.sendTimeMs;
                object.size = static_cast<std::uint32_t>(data.size());
                ObjectBegins(object.stream, object.presentationMs, object.size, shiftMs);
                object.data = data;
                if (!pl.compressed && pl.replicatedDataLength > 8) object.extension = pl.ReplicatedData(packet.bytes).subspan(8);
                if (!pl.compressed) object.sourceNumber = pl.mediaObjectNumber;
                WriteObject(object, source, shiftMs, waitingForKey);
                continue;
            }
            Assembly& a = assembly[pl.streamNumber];
            PassedObject& passed = passed_[pl.streamNumber];
            if (passed.open) {
                if (pl.offsetIntoMediaObject != 0 && passed.sourceNumber == pl.mediaObjectNumber &&
                    passed.size == pl.mediaObjectSize && passed.received == pl.offsetIntoMediaObject &&
                    data.size() <= passed.size - passed.received) {
                    ContinuePassed(pl, packet.bytes);
                    continue;
                }
                ++result_.droppedObjects;
                passed.open = false;
            }
            if (pl.offsetIntoMediaObject == 0) {
                ObjectBegins(pl.streamNumber, pl.presentationTimeMs, pl.mediaObjectSize, shiftMs);
                a.afterDamage = false;
                if (a.active) ++result_.droppedObjects;
                a.active = pl.mediaObjectSize <= MediaObjectAssembler::kMaxObjectSize;
                if (!a.active) {
                    ++result_.droppedObjects;
                    continue;
                }
                a.number = pl.mediaObjectNumber;
                a.size = pl.mediaObjectSize;
                a.presentationMs = pl.presentationTimeMs;
                a.keyFrame = pl.keyFrame;
                a.data.assign(data.begin(), data.end());
                const auto rep = pl.ReplicatedData(packet.bytes);
                if (rep.size() > 8)
                    a.extension.assign(rep.begin() + 8, rep.end());
                else
                    a.extension.clear();
            } else {
                if (!a.active) {
                    // Its start lay before the place reading began, or in a damaged packet.
                    if (a.afterDamage) ++result_.droppedObjects;
                    a.afterDamage = false;
                    continue;
                }
                if (a.number != pl.mediaObjectNumber || a.size != pl.mediaObjectSize ||
                    a.data.size() != pl.offsetIntoMediaObject || data.size() > a.size - a.data.size()) {
                    ++result_.droppedObjects;
                    a.active = false;
                    continue;
                }
                a.data.insert(a.data.end(), data.begin(), data.end());
                a.keyFrame = a.keyFrame || pl.keyFrame;
            }
            if (a.data.size() == a.size) {
                a.active = false;
                object.presentationMs = a.presentationMs;
                object.keyFrame = a.keyFrame;
                object.size = a.size;
                object.data = a.data;
                object.extension = a.extension;
                object.sourceNumber = a.number;
                WriteObject(object, source, shiftMs, waitingForKey);
            }
        }
    }
    for (const Assembly& a : assembly)
        if (a.active && source.span.Contains(a.presentationMs)) ++result_.droppedObjects;
    for (PassedObject& p : passed_) {
        if (p.open) ++result_.droppedObjects;
        p.open = false;
    }
    ExtendEnd(audioEnds_->Settle(), shiftMs);
    // The encoder knew how long the last objects of its file last; the estimates above only guess.
    const bool spanReachesEnd = fileEnded && latestStartMs_ && source.span.Contains(*latestStartMs_);
    if (const auto credibleEnd = spanReachesEnd ? CredibleEndMs(file, latestStartMs_) : std::nullopt)
        endMs_ = std::max(endBefore, *credibleEnd + shiftMs);
    result_.inputEndMs.push_back(endMs_ - static_cast<std::int64_t>(result_.prerollMs));
}

void RemuxRun::Finish()
{
    if (!wroteAny_) throw std::runtime_error("no media object lies in the span to be written");
    writer_->Finish(static_cast<std::uint32_t>(std::clamp<std::int64_t>(endMs_, 0, UINT32_MAX)));
    result_.packets = writer_->PacketCount();
    result_.sendTimeConflicts = writer_->SendTimeConflicts();
    result_.playDuration = static_cast<std::uint64_t>(endMs_) * 10000;

    // Data Object size and packet count.
    std::vector<std::uint8_t> field;
    ByteWriter f(field);
    f.U64(kDataObjectHeaderSize + result_.packets * result_.packetSize);
    out_.WriteAt(dataAt_ + 16, field);
    field.clear();
    f.U64(result_.packets);
    out_.WriteAt(dataAt_ + 40, field);

    for (auto& [number, s] : streams_) {
        if (!s.index) continue;
        s.index->Finish(result_.playDuration);
        out_.Write(s.index->Serialize(fileId_));
        ++result_.indexes;
    }

    // Markers past the last object point at the last packet.
    for (std::size_t m = 0; m < markerPlaced_.size(); ++m)
        if (!markerPlaced_[m] && result_.packets > 0) {
            const std::uint64_t last = result_.packets - 1;
            header_.SetMarkerPlace(m, last * result_.packetSize, static_cast<std::uint32_t>(writer_->SendDuration()));
        }

    result_.fileSize = out_.Size();
    HeaderTotals totals;
    totals.fileSize = result_.fileSize;
    totals.packetCount = result_.packets;
    totals.playDuration = result_.playDuration;
    totals.sendDuration = writer_->SendDuration() * 10000;
    header_.SetTotals(totals);
    out_.WriteAt(0, header_.bytes);
    for (auto& [number, s] : streams_) result_.streams.push_back(s.result);
}

}  // namespace

void OutputSink::WriteRangeOf(const InputFile& file, std::uint64_t offset, std::uint64_t size)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 20)));
    while (size > 0) {
        const std::span<std::uint8_t> part(buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size())));
        file.ReadExactlyAt(offset, part, "data packets");
        Write(part);
        offset += part.size();
        size -= part.size();
    }
}

RemuxResult Remux(const std::vector<RemuxSource>& sources, OutputSink& out, const RemuxOptions& options)
{
    RemuxRun run(sources, out, options);
    return run.Run();
}

std::vector<std::uint8_t> PacketErrorCorrection(const AsfFile& file)
{
    PacketReader reader(file, 0, file.Data().packetSize);
    PacketView packet;
    for (int tries = 0; tries < 16 && reader.Next(packet); ++tries) {
        try {
            const ParsedPacket parsed = ParseDataPacket(packet.bytes);
            std::vector<std::uint8_t> bytes;
            if (!parsed.hasErrorCorrection) return bytes;
            bytes.push_back(parsed.errorCorrectionFlags);
            const auto data = packet.bytes.subspan(parsed.errorCorrectionDataOffset, parsed.errorCorrectionDataLength);
            bytes.insert(bytes.end(), data.begin(), data.end());
            // The writer takes only the plain form: data of the stated length, no opaque length types.
            if ((bytes[0] & 0x80) == 0 || (bytes[0] & 0x60) != 0 || (bytes[0] & 0x0F) + 1u != bytes.size()) break;
            return bytes;
        } catch (const FormatError&) {
        }
    }
    return {0x82, 0x00, 0x00};
}

}  // namespace kestrine::asf
