#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "AsfTestBytes.h"
#include "asf/AsfFile.h"
#include "asf/FormatError.h"
#include "asf/HeaderParser.h"
#include "asf/HeaderWriter.h"
#include "asf/KnownGuids.h"
#include "support/TestMedia.h"

namespace kestrine::asf {
namespace {

using testbytes::Bytes;
using testbytes::Object;

constexpr Guid kUnknown = Guid::FromText("01234567-89AB-CDEF-0123-456789ABCDEF");
constexpr std::uint64_t kPreroll = 3100;

std::vector<std::uint8_t> MarkerObject(const std::vector<std::pair<std::uint64_t, const char*>>& markers)
{
    Bytes b;
    b.guid(guids::kReserved4).u32(static_cast<std::uint32_t>(markers.size())).u16(0);
    Bytes name;
    name.wstr("Chapters");
    b.u16(static_cast<unsigned>(name.size())).raw(name.v);
    for (const auto& [ms, text] : markers) {
        Bytes desc;
        desc.wstr(text);
        b.u64(12345).u64(ms * 10000).u16(static_cast<unsigned>(12 + desc.size())).u32(777).u32(0);
        b.u32(static_cast<std::uint32_t>(desc.size() / 2)).raw(desc.v);
    }
    return Object(guids::kMarker, b.v);
}

std::vector<std::uint8_t> ScriptObject(const std::vector<std::pair<std::uint32_t, const char*>>& commands,
                                       const std::vector<const char*>& types = {"URL", "FILENAME"}, unsigned typeIndex = 1)
{
    Bytes b;
    b.guid(guids::kReserved3).u16(static_cast<unsigned>(commands.size())).u16(static_cast<unsigned>(types.size()));
    for (const char* type : types) {
        Bytes t;
        t.wstr(type);
        b.u16(static_cast<unsigned>(t.size() / 2)).raw(t.v);
    }
    for (const auto& [ms, text] : commands) {
        Bytes n;
        n.wstr(text);
        b.u32(ms).u16(typeIndex).u16(static_cast<unsigned>(n.size() / 2)).raw(n.v);
    }
    return Object(guids::kScriptCommand, b.v);
}

std::vector<std::uint8_t> HeaderExtension(const std::vector<std::vector<std::uint8_t>>& children)
{
    Bytes data;
    for (const auto& c : children) data.raw(c);
    Bytes b;
    b.guid(guids::kReserved1).u16(6).u32(static_cast<std::uint32_t>(data.size())).raw(data.v);
    return Object(guids::kHeaderExtension, b.v);
}

RawObject Raw(std::vector<std::uint8_t> bytes)
{
    RawObject r;
    r.id = Guid::FromBytes(std::span<const std::uint8_t, 16>(bytes.data(), 16));
    r.bytes = std::move(bytes);
    return r;
}

// A real header from ffmpeg, given markers, script commands, index parameters, a signature and an
// object nobody knows.
Header RichHeader()
{
    const AsfFile file = AsfFile::Open(test::MakeMedia({}));
    Header h = file.Header();
    EXPECT_EQ(h.fileProperties.prerollMs, kPreroll);
    Bytes indexParameters;
    indexParameters.u32(1000).u16(1).u16(1).u16(3);
    std::vector<RawObject> objects;
    for (const RawObject& o : h.objects)
        if (o.id != guids::kHeaderExtension) objects.push_back(o);
    Bytes esp;  // stream 1, presented from 1.2 s to 3.4 s of the source
    esp.u64(1200).u64(3400).u32(400000).u32(3000).u32(3000).u32(0).u32(0).u32(0).u32(20000).u32(0);
    esp.u16(1).u16(0).u64(400000).u16(0).u16(0);
    objects.push_back(Raw(HeaderExtension({Object(guids::kIndexParameters, indexParameters.v),
                                           Object(kUnknown, {1, 2, 3, 4, 5}),
                                           Object(guids::kExtendedStreamProperties, esp.v)})));
    objects.push_back(Raw(MarkerObject({{kPreroll + 500, "Intro"}, {kPreroll + 1500, "Middle"}, {kPreroll + 3000, "End"}})));
    objects.push_back(Raw(ScriptObject({{kPreroll + 900, "early"}, {kPreroll + 1000, "first"}, {kPreroll + 2400, "last"},
                                        {kPreroll + 2500, "after"}})));
    objects.push_back(Raw(Object(guids::kDigitalSignature, {9, 9, 9, 9})));
    objects.push_back(Raw(Object(kUnknown, {7, 7, 7})));
    h.objects = objects;
    return h;
}

HeaderPlan Plan()
{
    HeaderPlan plan;
    plan.fileId = NewFileId();
    plan.creationDate = 133'000'000'000'000'000ull;
    plan.packetSize = 2500;
    plan.seekable = true;
    plan.span = {std::int64_t{kPreroll} + 1000, std::int64_t{kPreroll} + 2500, -1000};
    return plan;
}

TEST(HeaderWriterTest, CarriesObjectsOverAndRewritesOnlyWhatChanges)
{
    const Header source = RichHeader();
    const HeaderPlan plan = Plan();
    BuiltHeader built = BuildHeader(source, plan);
    const ParsedHeader parsed = ParseHeaderObject(built.bytes);
    EXPECT_TRUE(parsed.warnings.empty()) << parsed.warnings.front();
    const Header& h = parsed.header;

    // File Properties: new identity and packet size; seekable, not broadcast; the rest as before.
    EXPECT_EQ(h.fileProperties.fileId, plan.fileId);
    EXPECT_EQ(h.fileProperties.creationDate, plan.creationDate);
    EXPECT_EQ(h.fileProperties.minDataPacketSize, 2500u);
    EXPECT_EQ(h.fileProperties.maxDataPacketSize, 2500u);
    EXPECT_TRUE(h.fileProperties.Seekable());
    EXPECT_FALSE(h.fileProperties.Broadcast());
    EXPECT_EQ(h.fileProperties.prerollMs, kPreroll);
    EXPECT_EQ(h.fileProperties.maxBitrate, source.fileProperties.maxBitrate);

    // Streams, codec list and metadata unchanged; the signature dropped; the unknown object byte for byte.
    EXPECT_EQ(h.streams.size(), source.streams.size());
    for (std::size_t i = 0; i < h.streams.size(); ++i) EXPECT_EQ(h.streams[i].typeSpecificData, source.streams[i].typeSpecificData);
    bool unknownKept = false;
    for (const RawObject& o : h.objects) {
        EXPECT_NE(o.id, guids::kDigitalSignature);
        if (o.id == kUnknown) unknownKept = o.bytes == source.objects.back().bytes;
    }
    EXPECT_TRUE(unknownKept);
    EXPECT_EQ(h.objects.size(), source.objects.size() - 1);

    // No Index Object is written, so its parameters go; the extension's other children stay.
    EXPECT_FALSE(h.extension.indexParameters);
    ASSERT_EQ(h.extension.objects.size(), 2u);
    EXPECT_EQ(h.extension.objects[0].id, kUnknown);
    // Extended stream properties kept, but the source's start and end times do not describe the output.
    ASSERT_EQ(h.extension.extendedStreamProperties.size(), 1u);
    EXPECT_EQ(h.extension.extendedStreamProperties[0].startTime, 0u);
    EXPECT_EQ(h.extension.extendedStreamProperties[0].endTime, 0u);
    EXPECT_EQ(h.extension.extendedStreamProperties[0].averageTimePerFrame, 400000u);
    EXPECT_EQ(h.extension.extendedStreamProperties[0].maximumObjectSize, 20000u);

    // Markers and script commands: those in [from, to) kept and shifted.
    ASSERT_EQ(h.markers.size(), 1u);
    EXPECT_EQ(h.markers[0].description, "Middle");
    EXPECT_EQ(h.markers[0].presentationTime, (kPreroll + 500) * 10000);
    EXPECT_EQ(h.markerName, "Chapters");
    ASSERT_EQ(h.scriptCommands.size(), 2u);
    EXPECT_EQ(h.scriptCommands[0].name, "first");
    EXPECT_EQ(h.scriptCommands[0].presentationTimeMs, kPreroll);
    EXPECT_EQ(h.scriptCommands[1].name, "last");
    EXPECT_EQ(h.scriptCommands[1].presentationTimeMs, kPreroll + 1400);
    EXPECT_EQ(h.scriptCommandTypes, (std::vector<std::string>{"URL", "FILENAME"}));

    // What is known only at the end lands in the fields it belongs to, without moving anything.
    const std::size_t size = built.bytes.size();
    built.SetTotals({123456789, 4321, 98'000'000, 77'000'000});
    ASSERT_EQ(built.Markers().size(), 1u);
    built.SetMarkerPlace(0, 2500 * 17, 4242);
    EXPECT_EQ(built.bytes.size(), size);
    const Header after = ParseHeaderObject(built.bytes).header;
    EXPECT_EQ(after.fileProperties.fileSize, 123456789u);
    EXPECT_EQ(after.fileProperties.dataPacketsCount, 4321u);
    EXPECT_EQ(after.fileProperties.playDuration, 98'000'000u);
    EXPECT_EQ(after.fileProperties.sendDuration, 77'000'000u);
    ASSERT_EQ(after.markers.size(), 1u);
    EXPECT_EQ(after.markers[0].offset, 2500u * 17);
    EXPECT_EQ(after.markers[0].sendTime, 4242u);
    EXPECT_EQ(after.markers[0].description, "Middle");
}

TEST(HeaderWriterTest, IndexParametersStayWhenThatIndexIsWritten)
{
    HeaderPlan plan = Plan();
    plan.written.index = true;
    plan.span = {};
    const Header h = ParseHeaderObject(BuildHeader(RichHeader(), plan).bytes).header;
    ASSERT_TRUE(h.extension.indexParameters);
    EXPECT_EQ(h.extension.indexParameters->entryTimeInterval, 1000u);
    EXPECT_EQ(h.markers.size(), 3u) << "an unbounded span keeps every marker";
    EXPECT_EQ(h.scriptCommands.size(), 4u);
}

TEST(HeaderWriterTest, MalformedObjectsThatMustBeRewrittenAreRejected)
{
    Header h = RichHeader();
    for (RawObject& o : h.objects)
        if (o.id == guids::kMarker) {
            o.bytes.resize(o.bytes.size() - 5);  // the last entry runs past the object
            const std::uint64_t size = o.bytes.size();
            for (int i = 0; i < 8; ++i) o.bytes[16 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
        }
    EXPECT_THROW(BuildHeader(h, Plan()), FormatError);

    Header noProperties = RichHeader();
    std::erase_if(noProperties.objects, [](const RawObject& o) { return o.id == guids::kFileProperties; });
    EXPECT_THROW(BuildHeader(noProperties, Plan()), FormatError);
}

TEST(HeaderWriterTest, FileIdsAreFreshVersionFourGuids)
{
    const Guid a = NewFileId();
    const Guid b = NewFileId();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.ToString()[14], '4');
    EXPECT_NE(std::string("89AB").find(a.ToString()[19]), std::string::npos);
    // 2020-01-01 is 132223104000000000 in 100-ns units since 1601.
    EXPECT_GT(CurrentFileTime(), 132'223'104'000'000'000ull);
}

}  // namespace
}  // namespace kestrine::asf

namespace kestrine::asf {
namespace {

// A join: the second input's markers and script commands join the first's once its shift is known,
// in time order, with a Marker Object added when only the second has one and its own command type kept.
TEST(HeaderWriterTest, LaterInputsAddTheirMarkersAndScriptCommandsInTimeOrder)
{
    Header first = RichHeader();
    std::erase_if(first.objects, [](const RawObject& o) { return o.id == guids::kMarker || o.id == guids::kScriptCommand; });
    first.objects.push_back(Raw(ScriptObject({{kPreroll + 1000, "a1"}, {kPreroll + 3000, "a2"}})));
    Header second = RichHeader();
    std::erase_if(second.objects, [](const RawObject& o) { return o.id == guids::kScriptCommand; });
    second.objects.push_back(Raw(ScriptObject({{kPreroll + 200, "b1"}}, {"TEXT", "FILENAME"}, 0)));

    HeaderPlan plan = Plan();
    plan.span = {};
    plan.laterInputs = {{&second, {}}};
    BuiltHeader built = BuildHeader(first, plan);
    const std::size_t size = built.bytes.size();
    built.PlaceInput(1, 2000);
    ASSERT_EQ(built.Markers().size(), 3u);
    built.SetMarkerPlace(1, 777, 55);  // "Middle", now the second in time order
    EXPECT_EQ(built.bytes.size(), size);

    const Header h = ParseHeaderObject(built.bytes).header;
    ASSERT_EQ(h.markers.size(), 3u);
    EXPECT_EQ(h.markerName, "Chapters");
    EXPECT_EQ(h.markers[0].description, "Intro");
    EXPECT_EQ(h.markers[0].presentationTime, (kPreroll + 2500) * 10000);
    EXPECT_EQ(h.markers[1].description, "Middle");
    EXPECT_EQ(h.markers[1].offset, 777u);
    EXPECT_EQ(h.markers[1].sendTime, 55u);
    EXPECT_EQ(h.markers[2].description, "End");
    EXPECT_EQ(h.scriptCommandTypes, (std::vector<std::string>{"URL", "FILENAME", "TEXT"}));
    ASSERT_EQ(h.scriptCommands.size(), 3u);
    EXPECT_EQ(h.scriptCommands[0].name, "a1");
    EXPECT_EQ(h.scriptCommands[1].name, "b1");
    EXPECT_EQ(h.scriptCommands[1].presentationTimeMs, kPreroll + 2200);
    EXPECT_EQ(h.scriptCommandTypes[h.scriptCommands[1].typeIndex], "TEXT");
    EXPECT_EQ(h.scriptCommandTypes[h.scriptCommands[2].typeIndex], "FILENAME");
}

}  // namespace
}  // namespace kestrine::asf
