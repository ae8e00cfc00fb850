#include "asf/DataPacketWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <random>

#include "asf/ByteReader.h"
#include "asf/DataPacket.h"
#include "asf/MediaObjects.h"
#include "asf/AsfFile.h"
#include "asf/ByteWriter.h"
#include "asf/KnownGuids.h"
#include "asf/SimpleIndexWriter.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::asf {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sequence(std::size_t size, std::uint8_t first)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(first + i);
    return b;
}

void Append(Bytes& out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }
void Append(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void AppendLE(Bytes& out, std::uint64_t v, int width)
{
    for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Collects what the writer emits.
struct Collected {
    std::vector<FinishedPacket> packets;  // bytes re-pointed into `storage`
    std::vector<Bytes> storage;
    DataPacketWriter::Sink Sink()
    {
        return [this](const FinishedPacket& p) {
            storage.emplace_back(p.bytes.begin(), p.bytes.end());
            packets.push_back(p);
        };
    }
};

PayloadPiece Piece(std::uint8_t stream, std::uint32_t object, const Bytes& data, std::uint32_t presentation,
                   bool key = false)
{
    PayloadPiece p;
    p.streamNumber = stream;
    p.mediaObjectNumber = object;
    p.mediaObjectSize = static_cast<std::uint32_t>(data.size());
    p.presentationTime = presentation;
    p.keyFrame = key;
    p.data = data;
    return p;
}

PacketLayout Layout(std::uint32_t size, Bytes ecc = {0x82, 0x00, 0x00})
{
    PacketLayout layout;
    layout.packetSize = size;
    layout.errorCorrection = std::move(ecc);
    layout.sendTimeLookahead = 0;
    return layout;
}

TEST(DataPacketWriterTest, SinglePayloadPacketFieldByField)
{
    Collected out;
    PacketLayout layout = Layout(100);
    layout.sendTimeLead = 1000;
    DataPacketWriter writer(layout, out.Sink());
    const Bytes frame = Sequence(20, 0x40);
    const PacketPlacement where = writer.Add(Piece(2, 7, frame, 3000, true));
    EXPECT_EQ(where.firstPacket, 0u);
    EXPECT_EQ(where.lastPacket, 0u);
    EXPECT_TRUE(out.packets.empty()) << "the open packet is only emitted when closed";
    writer.Finish();

    Bytes expected;
    Append(expected, {0x82, 0x00, 0x00});  // error correction present, 2 bytes of data
    Append(expected, {0x10});              // one payload, padding length as a WORD, no packet length
    Append(expected, {0x5D});              // property flags
    AppendLE(expected, 100 - 13 - 15 - 20, 2);  // padding
    AppendLE(expected, 2000, 4);           // send time: presentation 3000 less the 1000 lead
    AppendLE(expected, 0, 2);              // duration: nothing after it
    Append(expected, {0x82, 0x07});        // stream 2 with the key-frame bit, object number 7
    AppendLE(expected, 0, 4);              // offset into the media object
    Append(expected, {0x08});              // replicated data: 8 bytes
    AppendLE(expected, 20, 4);             // media object size
    AppendLE(expected, 3000, 4);           // presentation time
    Append(expected, frame);
    expected.resize(100, 0x00);

    ASSERT_EQ(out.packets.size(), 1u);
    EXPECT_EQ(out.storage[0], expected);
    EXPECT_EQ(out.packets[0].number, 0u);
    EXPECT_EQ(out.packets[0].offset, 0u);
    EXPECT_EQ(out.packets[0].sendTime, 2000u);
    EXPECT_EQ(writer.PacketCount(), 1u);
    EXPECT_EQ(writer.SendDuration(), 2000u);
    EXPECT_EQ(writer.PacketHeaderSize(), 13u);
}

TEST(DataPacketWriterTest, SeveralPayloadsShareAPacket)
{
    Collected out;
    PacketLayout layout = Layout(120);
    layout.writePacketLength = true;
    DataPacketWriter writer(layout, out.Sink());
    const Bytes audio = Sequence(10, 0x10);
    const Bytes video = Sequence(12, 0xA0);
    const Bytes extension = {0xE1, 0xE2, 0xE3};
    writer.Add(Piece(1, 300, audio, 3000));  // object number 300 is stored as 300 mod 256 = 44
    PayloadPiece withExtension = Piece(2, 5, video, 3040, true);
    withExtension.replicatedExtension = extension;
    writer.Add(withExtension);
    writer.Finish();

    Bytes expected;
    Append(expected, {0x82, 0x00, 0x00});
    Append(expected, {0x51});  // multiple payloads, padding WORD, packet length WORD
    Append(expected, {0x5D});
    AppendLE(expected, 120, 2);  // packet length
    const std::size_t content = 15 + 1 + (17 + 10) + (17 + 3 + 12);
    AppendLE(expected, 120 - content, 2);
    AppendLE(expected, 3000, 4);  // the earliest presentation time, no lead
    AppendLE(expected, 40, 2);    // the last packet reaches its latest presentation time
    Append(expected, {0x82});     // payload flags: WORD lengths, two payloads
    Append(expected, {0x01, 44});
    AppendLE(expected, 0, 4);
    Append(expected, {0x08});
    AppendLE(expected, 10, 4);
    AppendLE(expected, 3000, 4);
    AppendLE(expected, 10, 2);
    Append(expected, audio);
    Append(expected, {0x82, 0x05});
    AppendLE(expected, 0, 4);
    Append(expected, {0x0B});  // 8 standard bytes and 3 of extension
    AppendLE(expected, 12, 4);
    AppendLE(expected, 3040, 4);
    Append(expected, extension);
    AppendLE(expected, 12, 2);
    Append(expected, video);
    expected.resize(120, 0x00);

    ASSERT_EQ(out.storage.size(), 1u);
    EXPECT_EQ(out.storage[0], expected);
}

TEST(DataPacketWriterTest, LargeObjectIsFragmentedAcrossPackets)
{
    Collected out;
    DataPacketWriter writer(Layout(100, {}), out.Sink());  // no error correction: 10-byte header
    const Bytes frame = Sequence(200, 0);
    const Bytes extension = {0x77};
    PayloadPiece piece = Piece(3, 9, frame, 5000, true);
    piece.replicatedExtension = extension;
    const PacketPlacement where = writer.Add(piece);
    writer.Finish();
    EXPECT_EQ(where.firstPacket, 0u);
    EXPECT_EQ(where.lastPacket, 2u);

    // Single payloads of 100 - 10 - 16 = 74 bytes, then the 52 left, padded.
    ASSERT_EQ(out.storage.size(), 3u);
    const std::size_t sizes[] = {74, 74, 52};
    std::size_t offset = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const Bytes& p = out.storage[k];
        ASSERT_EQ(p.size(), 100u);
        EXPECT_EQ(p[0], 0x10) << "single payload, padding WORD";
        EXPECT_EQ(p[2] | (p[3] << 8), static_cast<int>(74 - sizes[k])) << "padding of packet " << k;
        EXPECT_EQ(p[10], 0x83) << "the key-frame bit is on every fragment";
        EXPECT_EQ(p[11], 9);
        EXPECT_EQ(p[12] | (p[13] << 8) | (p[14] << 16), static_cast<int>(offset));
        EXPECT_EQ(p[16], 0x09);
        EXPECT_EQ(p[17], 200) << "replicated data carries the whole object's size";
        EXPECT_EQ(p[25], 0x77) << "and the payload extension, in every fragment";
        EXPECT_TRUE(std::equal(p.begin() + 26, p.begin() + 26 + static_cast<std::ptrdiff_t>(sizes[k]),
                               frame.begin() + static_cast<std::ptrdiff_t>(offset)));
        EXPECT_EQ(out.packets[k].offset, k * 100);
        offset += sizes[k];
    }
}

TEST(DataPacketWriterTest, ObjectFillsTheRestOfAPacketOnlyWhenWorthIt)
{
    {
        Collected out;
        DataPacketWriter writer(Layout(100, {}), out.Sink());
        writer.Add(Piece(1, 0, Sequence(20, 0), 100));
        const PacketPlacement video = writer.Add(Piece(2, 0, Sequence(100, 0), 100, true));
        writer.Finish();
        EXPECT_EQ(video.firstPacket, 0u);
        EXPECT_EQ(video.lastPacket, 1u);
        ASSERT_EQ(out.storage.size(), 2u);
        // Packet 0: 10 + 1 + (17 + 20) + (17 + 35) = 100, no padding.
        const Bytes& first = out.storage[0];
        EXPECT_EQ(first[0], 0x11);
        EXPECT_EQ(first[2] | (first[3] << 8), 0);
        EXPECT_EQ(first[10], 0x82);
        EXPECT_EQ(first[48], 0x82) << "second payload header at 11 + 37";
        EXPECT_EQ(first[63] | (first[64] << 8), 35) << "its payload length";
        // Packet 1: the other 65 bytes as a single payload from offset 35.
        const Bytes& second = out.storage[1];
        EXPECT_EQ(second[0], 0x10);
        EXPECT_EQ(second[12], 35);
        EXPECT_EQ(second[2] | (second[3] << 8), 100 - 10 - 15 - 65);
    }
    {
        // 15 bytes of room is not worth a fragment: the video starts a new packet.
        Collected out;
        DataPacketWriter writer(Layout(100, {}), out.Sink());
        writer.Add(Piece(1, 0, Sequence(40, 0), 100));
        const PacketPlacement video = writer.Add(Piece(2, 0, Sequence(100, 0), 100, true));
        writer.Finish();
        EXPECT_EQ(video.firstPacket, 1u);
        ASSERT_GE(out.storage.size(), 2u);
        EXPECT_EQ(out.storage[0][0], 0x10) << "the audio alone, in the single-payload form";
        EXPECT_EQ(out.storage[0][2] | (out.storage[0][3] << 8), 100 - 10 - 15 - 40);
    }
}

TEST(DataPacketWriterTest, AtMostSixtyThreePayloadsPerPacket)
{
    Collected out;
    DataPacketWriter writer(Layout(4000), out.Sink());
    const Bytes tiny = {0x55};
    PacketPlacement last{};
    for (std::uint32_t i = 0; i < 64; ++i) last = writer.Add(Piece(1, i, tiny, 100 + i));
    writer.Finish();
    EXPECT_EQ(last.firstPacket, 1u);
    ASSERT_EQ(out.storage.size(), 2u);
    EXPECT_EQ(out.storage[0][3], 0x11);
    EXPECT_EQ(out.storage[0][13], 0x80 | 63);
    EXPECT_EQ(out.storage[1][3], 0x10) << "the 64th alone";
}

// Each piece fills one packet exactly, so packet k carries presentation time times[k].
std::vector<FinishedPacket> SendTimesFor(const std::vector<std::uint32_t>& times, std::uint32_t lead,
                                         std::size_t lookahead, std::uint64_t* conflicts, std::uint64_t* duration)
{
    auto out = std::make_shared<Collected>();
    PacketLayout layout = Layout(100, {});
    layout.sendTimeLead = lead;
    layout.sendTimeLookahead = lookahead;
    DataPacketWriter writer(layout, out->Sink());
    const Bytes frame = Sequence(100 - 10 - 15, 0);
    for (std::size_t k = 0; k < times.size(); ++k)
        writer.Add(Piece(1, static_cast<std::uint32_t>(k), frame, times[k]));
    writer.Finish();
    *conflicts = writer.SendTimeConflicts();
    *duration = writer.SendDuration();
    for (std::size_t k = 0; k < out->packets.size(); ++k) {
        const Bytes& b = out->storage[k];
        EXPECT_EQ(out->packets[k].sendTime, b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<std::uint32_t>(b[7]) << 24));
        EXPECT_EQ(out->packets[k].duration, b[8] | (b[9] << 8));
        EXPECT_EQ(out->packets[k].number, k);
    }
    return out->packets;
}

TEST(DataPacketWriterTest, SendTimesLookAheadOverOutOfOrderPresentation)
{
    std::uint64_t conflicts = 0, duration = 0;
    const auto packets = SendTimesFor({1000, 1100, 1050, 1300, 1200, 1400}, 1000, 2, &conflicts, &duration);
    ASSERT_EQ(packets.size(), 6u);
    const std::uint32_t sends[] = {0, 50, 50, 200, 200, 400};
    const std::uint16_t durations[] = {50, 0, 150, 0, 200, 0};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(packets[k].sendTime, sends[k]) << k;
        EXPECT_EQ(packets[k].duration, durations[k]) << k;
    }
    EXPECT_EQ(conflicts, 0u);
    EXPECT_EQ(duration, 400u);

    // Without look-ahead the same order forces send time 100 onto packet 2, presented at 50 + lead.
    const auto eager = SendTimesFor({100, 300, 200}, 0, 0, &conflicts, &duration);
    EXPECT_EQ(eager[1].sendTime, 300u);
    EXPECT_EQ(eager[2].sendTime, 300u) << "never decreasing";
    EXPECT_EQ(conflicts, 1u);
    // A lead below the earliest times gives no conflicts, and times never go negative.
    const auto early = SendTimesFor({20, 3000, 3100}, 500, 0, &conflicts, &duration);
    EXPECT_EQ(early[0].sendTime, 0u);
    EXPECT_EQ(early[0].duration, 2500u);
    EXPECT_EQ(conflicts, 0u);
}

TEST(DataPacketWriterTest, PacketsStreamOutWithBoundedHoldBack)
{
    Collected out;
    PacketLayout layout = Layout(200);
    layout.sendTimeLookahead = 4;
    DataPacketWriter writer(layout, out.Sink());
    const Bytes frame = Sequence(1000, 3);
    for (std::uint32_t i = 0; i < 100; ++i) {
        writer.Add(Piece(2, i, frame, 3000 + 40 * i, i % 10 == 0));
        EXPECT_LE(writer.PacketCount() - out.packets.size(), 4u + 2u) << "after piece " << i;
    }
    writer.Finish();
    EXPECT_EQ(out.packets.size(), writer.PacketCount());
}

TEST(DataPacketWriterTest, RejectsWhatCannotBeWritten)
{
    Collected out;
    EXPECT_THROW(DataPacketWriter(Layout(30), out.Sink()), std::invalid_argument);
    EXPECT_THROW(DataPacketWriter(Layout(70000), out.Sink()), std::invalid_argument);
    EXPECT_THROW(DataPacketWriter(Layout(3200, {0x02, 0x00, 0x00}), out.Sink()), std::invalid_argument);
    EXPECT_THROW(DataPacketWriter(Layout(3200, {0x82, 0x00}), out.Sink()), std::invalid_argument);
    EXPECT_THROW(DataPacketWriter(Layout(3200), nullptr), std::invalid_argument);

    DataPacketWriter writer(Layout(3200), out.Sink());
    const Bytes data = Sequence(10, 0);
    EXPECT_THROW(writer.Add(Piece(0, 0, data, 0)), std::invalid_argument);
    EXPECT_THROW(writer.Add(Piece(128, 0, data, 0)), std::invalid_argument);
    PayloadPiece pastEnd = Piece(1, 0, data, 0);
    pastEnd.mediaObjectSize = 9;
    EXPECT_THROW(writer.Add(pastEnd), std::invalid_argument);
    PayloadPiece orphan = Piece(1, 4, data, 0);
    orphan.mediaObjectSize = 30;
    orphan.offsetIntoMediaObject = 10;
    EXPECT_THROW(writer.Add(orphan), std::invalid_argument) << "continues nothing";
    PayloadPiece head = orphan;
    head.offsetIntoMediaObject = 0;
    writer.Add(head);
    EXPECT_NO_THROW(writer.Add(orphan));
    PayloadPiece gap = orphan;
    gap.offsetIntoMediaObject = 25;
    gap.data = std::span(data).first(5);
    EXPECT_THROW(writer.Add(gap), std::invalid_argument) << "skips bytes 20..24";
    PayloadPiece empty = Piece(1, 5, {}, 0);
    empty.mediaObjectSize = 4;
    EXPECT_THROW(writer.Add(empty), std::invalid_argument);
    PayloadPiece longExtension = Piece(1, 6, data, 0);
    const Bytes extension(248, 0);
    longExtension.replicatedExtension = extension;
    EXPECT_THROW(writer.Add(longExtension), std::invalid_argument);
    writer.Finish();
    EXPECT_THROW(writer.Add(Piece(1, 7, data, 0)), std::logic_error);
    EXPECT_THROW(writer.Finish(), std::logic_error);
}

// A reader for exactly the layout the writer produces, to check random streams end to end.
struct ParsedPayload {
    std::uint8_t stream;
    bool key;
    std::uint8_t object;
    std::uint32_t offset, objectSize, presentation;
    Bytes extension, data;
};

std::vector<ParsedPayload> ParseOwnPacket(const Bytes& packet, std::size_t eccSize)
{
    ByteReader r(packet, "packet");
    r.Skip(eccSize);
    const std::uint8_t flags = r.U8();
    EXPECT_EQ(r.U8(), 0x5D);
    const std::uint16_t padding = r.U16();
    r.Skip(6);
    std::size_t count = 1;
    if (flags & 1) {
        const std::uint8_t payloadFlags = r.U8();
        EXPECT_EQ(payloadFlags & 0xC0, 0x80);
        count = payloadFlags & 0x3F;
    }
    std::vector<ParsedPayload> payloads;
    for (std::size_t i = 0; i < count; ++i) {
        ParsedPayload p;
        const std::uint8_t s = r.U8();
        p.stream = s & 0x7F;
        p.key = (s & 0x80) != 0;
        p.object = r.U8();
        p.offset = r.U32();
        const std::uint8_t replicated = r.U8();
        EXPECT_GE(replicated, 8);
        p.objectSize = r.U32();
        p.presentation = r.U32();
        const auto ext = r.Bytes(replicated - 8u);
        p.extension.assign(ext.begin(), ext.end());
        const std::size_t length = (flags & 1) ? r.U16() : r.Remaining() - padding;
        const auto data = r.Bytes(length);
        p.data.assign(data.begin(), data.end());
        payloads.push_back(std::move(p));
    }
    EXPECT_EQ(r.Remaining(), padding) << "payloads and padding fill the packet exactly";
    for (std::size_t i = r.Position(); i < packet.size(); ++i) EXPECT_EQ(packet[i], 0);
    return payloads;
}

TEST(DataPacketWriterTest, RandomStreamsSurviveTheRoundTrip)
{
    std::mt19937 random(20261208);
    for (std::uint32_t packetSize : {60u, 200u, 1500u, 3200u, 8000u}) {
        Collected out;
        PacketLayout layout = Layout(packetSize);
        layout.sendTimeLookahead = 8;
        layout.sendTimeLead = 3000;
        DataPacketWriter writer(layout, out.Sink());

        struct Object { std::uint8_t stream; std::uint32_t number, presentation; bool key; Bytes ext, data; };
        std::vector<Object> objects;
        std::map<std::uint8_t, std::uint32_t> nextNumber;
        std::map<std::uint8_t, std::uint32_t> clock;
        for (int i = 0; i < 400; ++i) {
            Object o;
            o.stream = static_cast<std::uint8_t>(1 + random() % 3);
            o.number = nextNumber[o.stream]++;
            o.presentation = 3000 + (clock[o.stream] += static_cast<std::uint32_t>(random() % 50));
            o.key = random() % 4 == 0;
            const std::size_t size = random() % 5 == 0 ? random() % 20000 : random() % 300;
            o.data = Sequence(size, static_cast<std::uint8_t>(random()));
            if (o.stream == 3) o.ext = Sequence(random() % 6, 0xC0);
            if (o.data.empty()) continue;
            // Sometimes hand the object over in two caller-made pieces.
            const std::size_t split = o.data.size() > 10 && random() % 3 == 0 ? o.data.size() / 3 : o.data.size();
            PayloadPiece piece = Piece(o.stream, o.number, o.data, o.presentation, o.key);
            piece.replicatedExtension = o.ext;
            piece.data = std::span(o.data).first(split);
            writer.Add(piece);
            if (split < o.data.size()) {
                piece.offsetIntoMediaObject = static_cast<std::uint32_t>(split);
                piece.data = std::span(o.data).subspan(split);
                writer.Add(piece);
            }
            objects.push_back(std::move(o));
        }
        writer.Finish();
        ASSERT_EQ(out.packets.size(), writer.PacketCount());

        // Reassemble per stream in order and compare with what went in.
        std::map<std::uint8_t, std::vector<Object>> rebuilt;
        std::uint32_t previousSend = 0;
        for (std::size_t k = 0; k < out.storage.size(); ++k) {
            ASSERT_EQ(out.storage[k].size(), packetSize);
            EXPECT_GE(out.packets[k].sendTime, previousSend);
            previousSend = out.packets[k].sendTime;
            for (ParsedPayload& p : ParseOwnPacket(out.storage[k], 3)) {
                EXPECT_LE(out.packets[k].sendTime, p.presentation);
                auto& list = rebuilt[p.stream];
                if (p.offset == 0) {
                    list.push_back(Object{p.stream, p.object, p.presentation, p.key, p.extension, {}});
                }
                ASSERT_FALSE(list.empty());
                Object& o = list.back();
                EXPECT_EQ(p.object, o.number & 0xFF);
                EXPECT_EQ(p.offset, o.data.size());
                EXPECT_EQ(p.key, o.key);
                EXPECT_EQ(p.extension, o.ext);
                o.data.insert(o.data.end(), p.data.begin(), p.data.end());
                EXPECT_LE(o.data.size(), p.objectSize);
            }
        }
        std::map<std::uint8_t, std::vector<Object>> original;
        for (Object& o : objects) original[o.stream].push_back(o);
        for (auto& [stream, list] : original) {
            ASSERT_EQ(rebuilt[stream].size(), list.size()) << "stream " << int(stream) << " size " << packetSize;
            for (std::size_t i = 0; i < list.size(); ++i) {
                EXPECT_EQ(rebuilt[stream][i].data, list[i].data);
                EXPECT_EQ(rebuilt[stream][i].presentation, list[i].presentation);
                EXPECT_EQ(rebuilt[stream][i].number, list[i].number & 0xFF);
            }
        }
        EXPECT_EQ(writer.SendTimeConflicts(), 0u);
    }
}

// The same kind of stream read back by the engine's own packet parser and object reassembly.
TEST(DataPacketWriterTest, ReaderParsesAndReassemblesWhatIsWritten)
{
    struct Variant { std::uint32_t packetSize; Bytes ecc; bool packetLength; };
    const Variant variants[] = {{3200, {0x82, 0x00, 0x00}, false}, {500, {}, true}, {8000, {0x82, 0x00, 0x00}, true},
                                {64, {0x81, 0x00}, false}};
    std::mt19937 random(77);
    for (const Variant& v : variants) {
        SCOPED_TRACE("packet size " + std::to_string(v.packetSize));
        Collected out;
        PacketLayout layout = Layout(v.packetSize, v.ecc);
        layout.writePacketLength = v.packetLength;
        layout.sendTimeLead = 5000;
        layout.sendTimeLookahead = 16;
        DataPacketWriter writer(layout, out.Sink());

        struct Sent { PayloadPiece piece; Bytes ext, data; std::uint64_t firstPacket = 0; };
        std::vector<Sent> sent;
        sent.reserve(300);
        std::uint32_t numbers[3] = {0, 0, 0};
        for (int i = 0; i < 300; ++i) {
            Sent s;
            const std::uint8_t stream = static_cast<std::uint8_t>(1 + random() % 2);
            s.data = Sequence(1 + (random() % 7 == 0 ? random() % 30000 : random() % 700), static_cast<std::uint8_t>(i));
            if (stream == 2) s.ext = Sequence(4, static_cast<std::uint8_t>(0xF0 + i));
            s.piece = Piece(stream, numbers[stream]++, s.data, 5000 + 40 * static_cast<std::uint32_t>(i) / 2,
                            stream == 2 && i % 12 == 0);
            sent.push_back(std::move(s));
            Sent& back = sent.back();
            back.piece.data = back.data;
            back.piece.replicatedExtension = back.ext;
            back.firstPacket = writer.Add(back.piece).firstPacket;
        }
        writer.Finish();

        MediaObjectAssembler assembler;
        std::vector<MediaObject> objects;
        for (std::size_t k = 0; k < out.storage.size(); ++k) {
            const Bytes& bytes = out.storage[k];
            const ParsedPacket parsed = ParseDataPacket(bytes);
            EXPECT_EQ(parsed.hasErrorCorrection, !v.ecc.empty());
            EXPECT_EQ(parsed.explicitPacketLength, v.packetLength);
            EXPECT_EQ(parsed.sendTimeMs, out.packets[k].sendTime);
            EXPECT_EQ(parsed.durationMs, out.packets[k].duration);
            for (const Payload& p : parsed.payloads) {
                EXPECT_TRUE(p.hasPresentationTime);
                EXPECT_LE(parsed.sendTimeMs, p.presentationTimeMs);
            }
            assembler.Add(PacketView{k, out.packets[k].offset, bytes}, parsed, objects);
        }
        EXPECT_EQ(assembler.DroppedObjects(), 0u);
        ASSERT_EQ(objects.size(), sent.size());
        // Objects complete in the order their last bytes were written, which is the order sent here.
        for (std::size_t i = 0; i < sent.size(); ++i) {
            const MediaObject& o = objects[i];
            const Sent& s = sent[i];
            EXPECT_EQ(o.streamNumber, s.piece.streamNumber) << i;
            EXPECT_EQ(o.objectNumber, s.piece.mediaObjectNumber & 0xFF) << i;
            EXPECT_EQ(o.presentationTimeMs, s.piece.presentationTime) << i;
            EXPECT_EQ(o.keyFrame, s.piece.keyFrame) << i;
            EXPECT_EQ(o.data, s.data) << i;
            EXPECT_EQ(o.firstPacketIndex, s.firstPacket) << i;
            ASSERT_EQ(o.replicatedData.size(), 8 + s.ext.size()) << i;
            EXPECT_TRUE(std::equal(s.ext.begin(), s.ext.end(), o.replicatedData.begin() + 8)) << i;
        }
    }
}

// Rewrites `source` with every media object packed afresh at `packetSize` and a new simple index for its
// video stream; the header is carried over byte for byte except the sizes and counts that change.
struct Rewritten {
    Bytes file;
    std::vector<SimpleIndexEntry> index;
    std::uint64_t packets = 0;
};

Rewritten Repacketize(const std::filesystem::path& source, std::uint32_t packetSize, bool variantLayout)
{
    const AsfFile file = AsfFile::Open(source);
    const Bytes original = test::ReadFileBytes(source);
    Rewritten result;
    Bytes& out = result.file;
    out.assign(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(file.Data().offset));

    std::uint8_t video = 0;
    for (const StreamProperties& s : file.Header().streams)
        if (s.kind == StreamKind::Video && video == 0) video = static_cast<std::uint8_t>(s.number);

    ByteWriter w(out);
    const std::size_t dataAt = w.Position();
    w.GuidValue(guids::kData);
    w.U64(0);
    w.GuidValue(file.Data().fileId);
    w.U64(0);
    w.U16(0x0101);

    PacketReader firstPacket(file);
    PacketView view;
    EXPECT_TRUE(firstPacket.Next(view));
    const ParsedPacket sourcePacket = ParseDataPacket(view.bytes);
    PacketLayout layout;
    layout.packetSize = packetSize;
    layout.errorCorrection.clear();
    if (sourcePacket.hasErrorCorrection) {
        layout.errorCorrection.push_back(sourcePacket.errorCorrectionFlags);
        const auto data = view.bytes.subspan(sourcePacket.errorCorrectionDataOffset, sourcePacket.errorCorrectionDataLength);
        layout.errorCorrection.insert(layout.errorCorrection.end(), data.begin(), data.end());
    }
    layout.sendTimeLead = static_cast<std::uint32_t>(file.Header().fileProperties.prerollMs);
    if (variantLayout) {
        layout.errorCorrection.clear();
        layout.writePacketLength = true;
    }
    DataPacketWriter writer(layout, [&](const FinishedPacket& p) { out.insert(out.end(), p.bytes.begin(), p.bytes.end()); });
    SimpleIndexWriter index;

    MediaObjectReader objects(file);
    MediaObject o;
    std::map<std::uint8_t, std::uint32_t> numbers;
    while (objects.Next(o)) {
        PayloadPiece piece = Piece(o.streamNumber, numbers[o.streamNumber]++, o.data, o.presentationTimeMs, o.keyFrame);
        piece.replicatedExtension = std::span(o.replicatedData).subspan(std::min<std::size_t>(8, o.replicatedData.size()));
        const PacketPlacement where = writer.Add(piece);
        if (o.streamNumber == video && o.keyFrame)
            index.AddKeyframe(std::uint64_t{o.presentationTimeMs} * 10000, where.firstPacket, where.lastPacket);
    }
    writer.Finish();
    index.Finish(file.Header().fileProperties.playDuration);
    result.packets = writer.PacketCount();
    result.index = index.Entries();

    w.PatchU64(dataAt + 16, w.Position() - dataAt);
    w.PatchU64(dataAt + 40, writer.PacketCount());
    if (video != 0) w.Bytes(index.Serialize(file.Data().fileId));
    for (const RawObject& child : file.Header().objects) {
        if (child.id != guids::kFileProperties) continue;
        const std::size_t at = static_cast<std::size_t>(child.fileOffset);
        w.PatchU64(at + 40, out.size());
        w.PatchU64(at + 56, writer.PacketCount());
        w.PatchU32(at + 88, FilePropertiesFlags(file.Header().fileProperties.flags, true));
        w.PatchU32(at + 92, packetSize);
        w.PatchU32(at + 96, packetSize);
    }
    return result;
}

std::string FrameHashes(const std::filesystem::path& file)
{
    const test::ProgramResult r = test::RunProgram("ffmpeg", {"-v", "error", "-i", file.string(), "-map", "0",
                                                              "-c", "copy", "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines += line + "\n";
    return lines;
}

void ExpectSameMediaForIndependentReader(const std::filesystem::path& source, std::uint32_t packetSize,
                                         bool variantLayout = false)
{
    SCOPED_TRACE(source.filename().string() + " at " + std::to_string(packetSize) + "-byte packets" +
                 (variantLayout ? ", no error correction, packet length stored" : ""));
    const Rewritten rewritten = Repacketize(source, packetSize, variantLayout);
    const std::filesystem::path out = test::FreshTestDir() / ("rewritten-" + std::to_string(packetSize) + ".wmv");
    test::WriteFileBytes(out, rewritten.file);

    const test::ProgramResult decode =
        test::RunProgram("ffmpeg", {"-v", "error", "-xerror", "-i", out.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
    const std::string before = FrameHashes(source);
    EXPECT_GT(before.size(), 100u);
    EXPECT_EQ(FrameHashes(out), before) << "every packet of every stream, with its time, must come through unchanged";

    // Our own reader sees the new packet size, the count and the index as written.
    const AsfFile reread = AsfFile::Open(out);
    EXPECT_TRUE(reread.Warnings().empty());
    EXPECT_EQ(reread.Data().packetSize, packetSize);
    EXPECT_EQ(reread.Data().packetCount, rewritten.packets);
    ASSERT_EQ(reread.SimpleIndexes().size(), 1u);
    const auto& entries = reread.SimpleIndexes()[0].entries;
    ASSERT_EQ(entries.size(), rewritten.index.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].packetNumber, rewritten.index[i].packetNumber) << i;
        EXPECT_EQ(entries[i].packetCount, rewritten.index[i].packetCount) << i;
    }
    EXPECT_GT(test::ProbeDurationSeconds(out), 0.0);
}

TEST(DataPacketWriterTest, RepacketizedFilesDecodeIdenticallyInFfmpeg)
{
    test::MediaSpec media;
    media.packetSize = 3200;
    const std::filesystem::path wmv2 = test::MakeMedia(media);
    ExpectSameMediaForIndependentReader(wmv2, 3200);
    ExpectSameMediaForIndependentReader(wmv2, 700);   // objects split across many packets
    ExpectSameMediaForIndependentReader(wmv2, 16000); // many objects per packet
    ExpectSameMediaForIndependentReader(wmv2, 1200, true);

    const std::filesystem::path wmv9 = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (std::filesystem::exists(wmv9)) {
        // A real encoder's file: payload extension data on every object, 5 s preroll, 8000-byte packets.
        ExpectSameMediaForIndependentReader(wmv9, 8000);
        ExpectSameMediaForIndependentReader(wmv9, 2500);
    }
}

}  // namespace
}  // namespace kestrine::asf
