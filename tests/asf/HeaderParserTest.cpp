#include <gtest/gtest.h>

#include "AsfTestBytes.h"
#include "asf/FormatError.h"
#include "asf/HeaderParser.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {
namespace {

using testbytes::Bytes;
using testbytes::Object;

std::vector<std::uint8_t> FileProps(std::uint32_t packetSize = 3200, std::uint64_t prerollMs = 3100)
{
    Bytes b;
    b.guid(*Guid::Parse("01234567-89AB-CDEF-0123-456789ABCDEF"))
        .u64(123456).u64(0).u64(10).u64(50000000).u64(20000000).u64(prerollMs).u32(2)
        .u32(packetSize).u32(packetSize).u32(64000);
    return Object(guids::kFileProperties, b.v);
}

std::vector<std::uint8_t> AudioStreamProps(std::uint16_t number, bool spread)
{
    Bytes fmt;
    fmt.u16(0x0161).u16(2).u32(44100).u32(8000).u16(742).u16(16).u16(10).fill(10, 0xAB);
    Bytes ec;
    if (spread) ec.u8(1).u16(742).u16(742).u16(1).u8(0);
    Bytes b;
    b.guid(guids::kAudioMedia).guid(spread ? guids::kAudioSpread : guids::kNoErrorCorrection).u64(0)
        .u32(static_cast<std::uint32_t>(fmt.size())).u32(static_cast<std::uint32_t>(ec.size())).u16(number)
        .u32(0).raw(fmt.v).raw(ec.v);
    return Object(guids::kStreamProperties, b.v);
}

std::vector<std::uint8_t> VideoStreamProps(std::uint16_t number)
{
    Bytes bih;
    bih.u32(40 + 4).u32(640).u32(480).u16(1).u16(24).raw({'W', 'M', 'V', '3'}).u32(0).u32(0).u32(0).u32(0).u32(0)
        .raw({0x4F, 0xF1, 0x08, 0x01});
    Bytes fmt;
    fmt.u32(640).u32(480).u8(2).u16(static_cast<unsigned>(bih.size())).raw(bih.v);
    Bytes b;
    b.guid(guids::kVideoMedia).guid(guids::kNoErrorCorrection).u64(0)
        .u32(static_cast<std::uint32_t>(fmt.size())).u32(0).u16(number).u32(0).raw(fmt.v);
    return Object(guids::kStreamProperties, b.v);
}

std::vector<std::uint8_t> ExtendedStreamProps(std::uint16_t number, std::uint16_t languageIndex,
                                              const std::vector<std::uint8_t>& embedded)
{
    Bytes b;
    b.u64(0).u64(0).u32(500000).u32(3000).u32(3000).u32(500000).u32(3000).u32(3000).u32(40000).u32(2)
        .u16(number).u16(languageIndex).u64(333667).u16(1).u16(1)
        .u16(0).u16(10).wstr("main")  // one stream name ("main", 10 bytes with its zero)
        .guid(guids::kPayloadExtensionSampleDuration).u16(2).u32(0)
        .raw(embedded);
    return Object(guids::kExtendedStreamProperties, b.v);
}

std::vector<std::uint8_t> HeaderExtension(const std::vector<std::vector<std::uint8_t>>& children)
{
    Bytes data;
    for (const auto& c : children) data.raw(c);
    Bytes b;
    b.guid(guids::kReserved1).u16(6).u32(static_cast<std::uint32_t>(data.size())).raw(data.v);
    return Object(guids::kHeaderExtension, b.v);
}

std::vector<std::uint8_t> Header(const std::vector<std::vector<std::uint8_t>>& children)
{
    Bytes body;
    for (const auto& c : children) body.raw(c);
    Bytes b;
    b.guid(guids::kHeader).u64(30 + body.size()).u32(static_cast<std::uint32_t>(children.size())).u8(1).u8(2).raw(body.v);
    return b.v;
}

const Guid kUnknownA = *Guid::Parse("11111111-2222-3333-4444-555555555555");
const Guid kUnknownB = *Guid::Parse("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");

TEST(HeaderParser, KeepsEveryObjectInOrderAndUnderstandsTheKnownOnes)
{
    Bytes langs;
    langs.u16(2).u8(12).wstr("en-us").u8(6).wstr("it");
    const auto unknownTop = Object(kUnknownA, {1, 2, 3});
    const auto unknownInExt = Object(kUnknownB, {9});
    Bytes content;
    content.u16(12).u16(4).u16(0).u16(0).u16(0).wstr("Title").wstr("Me");
    Bytes ecd;
    ecd.u16(1).u16(16).wstr("WM/Year").u16(0).u16(10).wstr("2004");
    Bytes bitrates;
    bitrates.u16(2).u16(1).u32(64000).u16(2).u32(500000);
    Bytes codecs;
    codecs.guid(guids::kReserved2).u32(1).u16(2).u16(5).wstr("WMA2").u16(0).u16(2).raw({0x61, 0x01});
    Bytes markers;
    markers.guid(guids::kReserved4).u32(1).u16(0).u16(0)
        .u64(0).u64(20000000).u16(12 + 6).u32(2000).u32(0).u32(3).wstr("ch");
    Bytes index;
    index.u32(1000).u16(1).u16(2).u16(1);

    const std::vector<std::vector<std::uint8_t>> children = {
        FileProps(),
        AudioStreamProps(1, true),
        unknownTop,
        HeaderExtension({Object(guids::kLanguageList, langs.v), ExtendedStreamProps(2, 1, VideoStreamProps(2)),
                         unknownInExt, Object(guids::kIndexParameters, index.v)}),
        Object(guids::kContentDescription, content.v),
        Object(guids::kExtendedContentDescription, ecd.v),
        Object(guids::kStreamBitrateProperties, bitrates.v),
        Object(guids::kCodecList, codecs.v),
        Object(guids::kMarker, markers.v),
        Object(guids::kPadding, std::vector<std::uint8_t>(40, 0)),
    };
    const auto bytes = Header(children);
    ParsedHeader parsed = ParseHeaderObject(bytes, 0);
    const auto& h = parsed.header;
    EXPECT_TRUE(parsed.warnings.empty()) << parsed.warnings.front();

    ASSERT_EQ(h.objects.size(), children.size());
    std::uint64_t offset = 30;
    for (std::size_t i = 0; i < children.size(); ++i) {
        EXPECT_EQ(h.objects[i].bytes, children[i]) << i;
        EXPECT_EQ(h.objects[i].fileOffset, offset) << i;
        offset += children[i].size();
    }
    EXPECT_EQ(h.objects[2].id, kUnknownA);
    ASSERT_EQ(h.extension.objects.size(), 4u);
    EXPECT_EQ(h.extension.objects[2].bytes, unknownInExt);
    EXPECT_EQ(h.extension.reserved1, guids::kReserved1);

    EXPECT_EQ(h.fileProperties.maxDataPacketSize, 3200u);
    EXPECT_EQ(h.fileProperties.prerollMs, 3100u);
    EXPECT_TRUE(h.fileProperties.Seekable());

    // The video stream exists only inside Extended Stream Properties.
    ASSERT_EQ(h.streams.size(), 2u);
    const StreamProperties* video = h.FindStream(2);
    ASSERT_TRUE(video && video->video);
    EXPECT_TRUE(video->embeddedInExtendedStreamProperties);
    EXPECT_EQ(video->video->CompressionText(), "WMV3");
    EXPECT_EQ(video->video->formatData.size(), 44u);  // codec extra bytes kept
    EXPECT_EQ(h.LowestStream(StreamKind::Video), video);
    const ExtendedStreamProperties* esp = h.FindExtendedStreamProperties(2);
    ASSERT_NE(esp, nullptr);
    EXPECT_EQ(esp->averageTimePerFrame, 333667u);
    EXPECT_TRUE(esp->hasEmbeddedStreamProperties);
    ASSERT_EQ(esp->names.size(), 1u);
    EXPECT_EQ(esp->names[0].name, "main");
    ASSERT_EQ(esp->payloadExtensionSystems.size(), 1u);
    EXPECT_EQ(esp->payloadExtensionSystems[0].id, guids::kPayloadExtensionSampleDuration);
    EXPECT_EQ(h.StreamLanguage(2), "it");
    EXPECT_EQ(h.StreamLanguage(1), "");

    const StreamProperties* audio = h.FindStream(1);
    ASSERT_TRUE(audio && audio->audio && audio->audioSpread);
    EXPECT_EQ(audio->audio->extra.size(), 10u);
    EXPECT_EQ(audio->audioSpread->virtualPacketLength, 742);

    ASSERT_TRUE(h.contentDescription);
    EXPECT_EQ(h.contentDescription->title, "Title");
    EXPECT_EQ(h.contentDescription->author, "Me");
    ASSERT_EQ(h.extendedContent.size(), 1u);
    EXPECT_EQ(h.extendedContent[0].name, "WM/Year");
    EXPECT_EQ(h.extendedContent[0].ValueText(), "2004");
    ASSERT_EQ(h.streamBitrates.size(), 2u);
    EXPECT_EQ(h.streamBitrates[1].averageBitrate, 500000u);
    ASSERT_EQ(h.codecs.size(), 1u);
    EXPECT_EQ(h.codecs[0].name, "WMA2");
    ASSERT_EQ(h.markers.size(), 1u);
    EXPECT_EQ(h.markers[0].presentationTime, 20000000u);
    EXPECT_EQ(h.markers[0].description, "ch");
    ASSERT_TRUE(h.extension.indexParameters);
    EXPECT_EQ(h.extension.indexParameters->entryTimeInterval, 1000u);
    ASSERT_EQ(h.extension.indexParameters->specifiers.size(), 1u);
    EXPECT_EQ(h.extension.indexParameters->specifiers[0].streamNumber, 2);
}

TEST(HeaderParser, MalformedDescriptionsAreKeptButDoNotStopTheFile)
{
    Bytes content;
    content.u16(400).u16(0).u16(0).u16(0).u16(0).wstr("short");  // title length runs past the object
    const auto broken = Object(guids::kContentDescription, content.v);
    ParsedHeader parsed = ParseHeaderObject(Header({FileProps(), AudioStreamProps(1, false), broken}));
    EXPECT_FALSE(parsed.header.contentDescription.has_value());
    ASSERT_EQ(parsed.warnings.size(), 1u);
    EXPECT_NE(parsed.warnings[0].find("Content Description"), std::string::npos);
    EXPECT_EQ(parsed.header.objects.back().bytes, broken);
}

TEST(HeaderParser, StructuralFaultsAreErrors)
{
    EXPECT_THROW(ParseHeaderObject(Header({AudioStreamProps(1, false)})), FormatError);  // no File Properties
    EXPECT_THROW(ParseHeaderObject(Header({FileProps()})), FormatError);                 // no streams

    auto bytes = Header({FileProps(), AudioStreamProps(1, false)});
    auto childTooLong = bytes;
    childTooLong[30 + 16] = 0xFF;  // File Properties claims more than the header holds
    EXPECT_THROW(ParseHeaderObject(childTooLong), FormatError);
    auto childTooShort = bytes;
    for (int i = 0; i < 8; ++i) childTooShort[30 + 16 + i] = i == 0 ? 10 : 0;  // smaller than an object header
    EXPECT_THROW(ParseHeaderObject(childTooShort), FormatError);
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 5);
    EXPECT_THROW(ParseHeaderObject(cut), FormatError);  // sizes no longer match

    auto truncatedStream = AudioStreamProps(1, false);
    truncatedStream[24 + 16 + 16 + 8] = 0xF0;  // type-specific data length past the object
    EXPECT_THROW(ParseHeaderObject(Header({FileProps(), truncatedStream})), FormatError);
}

}  // namespace
}  // namespace kestrine::asf
