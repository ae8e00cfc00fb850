#include <gtest/gtest.h>

#include <span>

#include "AsfTestBytes.h"
#include "asf/DataPacket.h"
#include "asf/FormatError.h"
#include "asf/MediaObjects.h"

namespace kestrine::asf {
namespace {

using testbytes::Bytes;
using testbytes::Pattern;

std::vector<std::uint8_t> Bytes0(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

// Error correction as most encoders write it: flags 0x82 and two bytes of data.
Bytes WithErrorCorrection()
{
    Bytes b;
    b.u8(0x82).u8(0).u8(0);
    return b;
}

TEST(DataPacketParser, SinglePayloadWithPadding)
{
    const auto media = Pattern(20, 1);
    Bytes b = WithErrorCorrection();
    b.u8(0x08)         // padding length in a byte; no packet length, no sequence; one payload
        .u8(0x5D)      // replicated data length: byte, offset: dword, object number: byte, stream: byte
        .u8(17)        // padding
        .u32(4100)     // send time
        .u16(80)       // duration
        .u8(0x81)      // key frame, stream 1
        .u8(7)         // media object number
        .u32(0)        // offset into media object
        .u8(8).u32(20).u32(3500)  // replicated data: object size, presentation time
        .raw(media)
        .fill(17, 0);
    ASSERT_EQ(b.size(), 64u);

    ParsedPacket p = ParseDataPacket(b.v);
    EXPECT_TRUE(p.hasErrorCorrection);
    EXPECT_EQ(p.errorCorrectionDataLength, 2u);
    EXPECT_FALSE(p.multiplePayloads);
    EXPECT_EQ(p.paddingLength, 17u);
    EXPECT_EQ(p.packetLength, 64u);
    EXPECT_EQ(p.sendTimeMs, 4100u);
    EXPECT_EQ(p.durationMs, 80u);
    ASSERT_EQ(p.payloads.size(), 1u);
    const Payload& pl = p.payloads[0];
    EXPECT_EQ(pl.streamNumber, 1);
    EXPECT_TRUE(pl.keyFrame);
    EXPECT_EQ(pl.mediaObjectNumber, 7u);
    EXPECT_EQ(pl.offsetIntoMediaObject, 0u);
    EXPECT_EQ(pl.mediaObjectSize, 20u);
    EXPECT_EQ(pl.presentationTimeMs, 3500u);
    EXPECT_EQ(pl.replicatedDataLength, 8u);
    // The padding must not be counted as payload data.
    EXPECT_EQ(Bytes0(pl.Data(b.v)), media);
}

TEST(DataPacketParser, ShortExplicitLengthLeavesTheRestAsPadding)
{
    const auto media = Pattern(5, 9);
    Bytes b;
    b.u8(0x48)        // no error correction; packet length in a word, padding in a byte
        .u8(0x5D)
        .u16(40)      // packet length, less than the 64-byte packet size
        .u8(5)        // padding inside those 40 bytes
        .u32(0)
        .u16(0)
        .u8(0x02).u8(0).u32(0).u8(8).u32(9).u32(100)
        .raw(media);
    b.fill(40 - 5 - b.size(), 0xEE);  // payload data continues up to the padding
    b.fill(5, 0);
    b.fill(64 - b.size(), 0);
    ParsedPacket p = ParseDataPacket(b.v);
    EXPECT_FALSE(p.hasErrorCorrection);
    EXPECT_TRUE(p.explicitPacketLength);
    EXPECT_EQ(p.packetLength, 40u);
    EXPECT_EQ(p.paddingLength, 64u - 35u);
    ASSERT_EQ(p.payloads.size(), 1u);
    EXPECT_FALSE(p.payloads[0].keyFrame);
    EXPECT_EQ(p.payloads[0].dataLength, 35u - 26u);  // 11 bytes of packet header, 15 of payload header
}

TEST(DataPacketParser, MultiplePayloadsWithWordLengths)
{
    const auto a = Pattern(12, 3), v = Pattern(30, 50);
    Bytes b = WithErrorCorrection();
    b.u8(0x09)          // several payloads, padding length in a byte
        .u8(0x5D)
        .u8(0)          // no padding given here: the rest is computed from the lengths
        .u32(1000)
        .u16(0)
        .u8(0x82)       // payload flags: word lengths, two payloads
        .u8(0x02).u8(4).u32(0).u8(8).u32(12).u32(1100).u16(12).raw(a)     // audio, stream 2
        .u8(0x81).u8(9).u32(40).u8(8).u32(70).u32(1040).u16(30).raw(v);  // a later fragment of a video frame
    b.fill(128 - b.size(), 0);
    ParsedPacket p = ParseDataPacket(b.v);
    EXPECT_TRUE(p.multiplePayloads);
    EXPECT_EQ(p.payloadLengthType, 2);
    ASSERT_EQ(p.payloads.size(), 2u);
    EXPECT_EQ(p.payloads[0].streamNumber, 2);
    EXPECT_EQ(Bytes0(p.payloads[0].Data(b.v)), a);
    EXPECT_EQ(p.payloads[0].presentationTimeMs, 1100u);
    EXPECT_EQ(p.payloads[1].streamNumber, 1);
    EXPECT_EQ(p.payloads[1].offsetIntoMediaObject, 40u);
    EXPECT_EQ(p.payloads[1].mediaObjectSize, 70u);
    EXPECT_EQ(p.payloads[1].mediaObjectNumber, 9u);
    EXPECT_EQ(Bytes0(p.payloads[1].Data(b.v)), v);
}

TEST(DataPacketParser, CompressedPayloadExpandsIntoWholeObjects)
{
    const auto s0 = Pattern(5, 1), s1 = Pattern(7, 2), s2 = Pattern(3, 3);
    Bytes b = WithErrorCorrection();
    b.u8(0x09).u8(0x5D).u8(0).u32(2000).u16(0)
        .u8(0x82)
        .u8(0x03).u8(20).u32(2500).u8(1).u8(40)  // compressed: time 2500 in the offset field, delta 40
        .u16(3 + 5 + 7 + 3)
        .u8(5).raw(s0).u8(7).raw(s1).u8(3).raw(s2)
        .u8(0x01).u8(1).u32(0).u8(8).u32(4).u32(2600).u16(4).raw({9, 9, 9, 9});
    b.fill(100 - b.size(), 0);
    ParsedPacket p = ParseDataPacket(b.v);
    ASSERT_EQ(p.payloads.size(), 4u);
    const std::vector<std::vector<std::uint8_t>> subs = {s0, s1, s2};
    for (std::size_t i = 0; i < 3; ++i) {
        const Payload& pl = p.payloads[i];
        EXPECT_TRUE(pl.compressed);
        EXPECT_EQ(pl.streamNumber, 3);
        EXPECT_EQ(pl.mediaObjectNumber, 20u + i);
        EXPECT_EQ(pl.offsetIntoMediaObject, 0u);
        EXPECT_EQ(pl.presentationTimeMs, 2500u + 40u * i);
        EXPECT_EQ(pl.mediaObjectSize, subs[i].size());
        EXPECT_EQ(Bytes0(pl.Data(b.v)), subs[i]);
    }
    // The payload after the compressed group is read from the right place.
    EXPECT_FALSE(p.payloads[3].compressed);
    EXPECT_EQ(p.payloads[3].presentationTimeMs, 2600u);
    EXPECT_EQ(Bytes0(p.payloads[3].Data(b.v)), (std::vector<std::uint8_t>{9, 9, 9, 9}));
}

TEST(DataPacketParser, CompressedSinglePayloadRunsToThePadding)
{
    Bytes b = WithErrorCorrection();
    b.u8(0x08).u8(0x5D).u8(10).u32(0).u16(0)
        .u8(0x81).u8(1).u32(800).u8(1).u8(0)
        .u8(2).raw({1, 2}).u8(1).raw({3});
    b.fill(10, 0);
    ParsedPacket p = ParseDataPacket(b.v);
    ASSERT_EQ(p.payloads.size(), 2u);
    EXPECT_EQ(p.payloads[0].dataLength, 2u);
    EXPECT_EQ(p.payloads[1].dataLength, 1u);
    EXPECT_EQ(p.payloads[1].presentationTimeMs, 800u);
    EXPECT_TRUE(p.payloads[1].keyFrame);
}

TEST(DataPacketParser, RejectsLengthsThatRunPastThePacket)
{
    auto base = [] {
        Bytes b = WithErrorCorrection();
        b.u8(0x09).u8(0x5D).u8(0).u32(0).u16(0).u8(0x81);
        return b;
    };
    // A payload length beyond the packet.
    Bytes longPayload = base();
    longPayload.u8(0x01).u8(0).u32(0).u8(8).u32(500).u32(0).u16(500).fill(10, 0);
    EXPECT_THROW(ParseDataPacket(longPayload.v), FormatError);
    // Replicated data longer than the packet.
    Bytes longReplicated = base();
    longReplicated.u8(0x01).u8(0).u32(0).u8(200).fill(20, 0);
    EXPECT_THROW(ParseDataPacket(longReplicated.v), FormatError);
    // A sub-payload running past its compressed payload.
    Bytes badSub = base();
    badSub.u8(0x01).u8(0).u32(0).u8(1).u8(0).u16(3).u8(9).u8(1).u8(2).fill(20, 0);
    EXPECT_THROW(ParseDataPacket(badSub.v), FormatError);
    // More padding than packet.
    Bytes padding = WithErrorCorrection();
    padding.u8(0x08).u8(0x5D).u8(200).u32(0).u16(0).u8(1).u8(0).u32(0).u8(8).u32(1).u32(0).fill(10, 0);
    EXPECT_THROW(ParseDataPacket(padding.v), FormatError);
    // An explicit packet length larger than the packet.
    Bytes length = WithErrorCorrection();
    length.u8(0x40).u8(0x5D).u16(9000).u32(0).u16(0).u8(1).u8(0).u32(0).u8(8).u32(1).u32(0).fill(10, 0);
    EXPECT_THROW(ParseDataPacket(length.v), FormatError);
    // Cut off inside the payload parsing information.
    Bytes cut = WithErrorCorrection();
    cut.u8(0x08).u8(0x5D).u8(0);
    EXPECT_THROW(ParseDataPacket(cut.v), FormatError);
    // Nothing at all.
    EXPECT_THROW(ParseDataPacket(std::vector<std::uint8_t>{}), FormatError);
}

// ---- reassembly ----

std::vector<std::uint8_t> FragmentPacket(std::uint8_t stream, std::uint8_t object, std::uint32_t offset,
                                         std::uint32_t objectSize, std::uint32_t time, bool key,
                                         const std::vector<std::uint8_t>& data, std::size_t packetSize = 96)
{
    Bytes b = WithErrorCorrection();
    b.u8(0x08).u8(0x5D);
    const std::size_t header = 3 + 2 + 1 + 6 + 1 + 1 + 4 + 1 + 8;
    b.u8(static_cast<unsigned>(packetSize - header - data.size())).u32(time).u16(0);
    b.u8(stream | (key ? 0x80 : 0)).u8(object).u32(offset).u8(8).u32(objectSize).u32(time).raw(data);
    b.fill(packetSize - b.size(), 0);
    return b.v;
}

std::vector<MediaObject> Assemble(const std::vector<std::vector<std::uint8_t>>& packets)
{
    MediaObjectAssembler assembler;
    std::vector<MediaObject> out;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        PacketView view{i, 1000 + i * packets[i].size(), packets[i]};
        assembler.Add(view, ParseDataPacket(packets[i]), out);
    }
    return out;
}

TEST(MediaObjectAssembler, JoinsFragmentsSpanningPacketsPerStream)
{
    const auto frame = Pattern(100, 17);
    const std::vector<std::uint8_t> first(frame.begin(), frame.begin() + 50), rest(frame.begin() + 50, frame.end());
    const auto audio = Pattern(30, 200);
    auto objects = Assemble({FragmentPacket(1, 5, 0, 100, 3100, true, first),
                             FragmentPacket(2, 8, 0, 30, 3120, false, audio),  // another stream in between
                             FragmentPacket(1, 5, 50, 100, 3100, true, rest)});
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].streamNumber, 2);
    EXPECT_EQ(objects[0].data, audio);
    EXPECT_EQ(objects[1].streamNumber, 1);
    EXPECT_EQ(objects[1].data, frame);
    EXPECT_TRUE(objects[1].keyFrame);
    EXPECT_EQ(objects[1].presentationTimeMs, 3100u);
    EXPECT_EQ(objects[1].objectNumber, 5u);
    // Where the object starts, so a writer can index it and a player can seek to it.
    EXPECT_EQ(objects[1].firstPacketIndex, 0u);
    EXPECT_EQ(objects[1].firstPacketOffset, 1000u);
}

TEST(MediaObjectAssembler, DropsObjectsWithAMissingFragment)
{
    const auto frame = Pattern(90, 1);
    const std::vector<std::uint8_t> a(frame.begin(), frame.begin() + 30), c(frame.begin() + 60, frame.end());
    const auto next = Pattern(20, 5);
    MediaObjectAssembler assembler;
    std::vector<MediaObject> out;
    auto feed = [&](const std::vector<std::uint8_t>& packet) {
        assembler.Add(PacketView{0, 0, packet}, ParseDataPacket(packet), out);
    };
    feed(FragmentPacket(1, 3, 30, 90, 0, false, a));  // starts mid-object: its beginning is not in the file
    feed(FragmentPacket(1, 4, 0, 90, 0, false, a));
    feed(FragmentPacket(1, 4, 60, 90, 0, false, c));  // the middle third is lost
    feed(FragmentPacket(1, 5, 0, 20, 40, true, next));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].objectNumber, 5u);
    EXPECT_EQ(out[0].data, next);
    EXPECT_EQ(assembler.DroppedObjects(), 1u);
}

TEST(MediaObjectAssembler, ALyingObjectSizeCannotOverflowTheObject)
{
    MediaObjectAssembler assembler;
    std::vector<MediaObject> out;
    // The fragment is larger than the object it claims to belong to.
    auto packet = FragmentPacket(1, 1, 0, 10, 0, true, Pattern(40, 0));
    assembler.Add(PacketView{0, 0, packet}, ParseDataPacket(packet), out);
    // A huge size is never allocated up front.
    auto huge = FragmentPacket(1, 2, 0, 0xFFFFFFF0u, 0, true, Pattern(40, 0));
    assembler.Add(PacketView{1, 0, huge}, ParseDataPacket(huge), out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(assembler.DroppedObjects(), 2u);
}

}  // namespace
}  // namespace kestrine::asf
