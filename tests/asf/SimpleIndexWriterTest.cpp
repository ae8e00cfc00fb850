#include "asf/SimpleIndexWriter.h"

#include <gtest/gtest.h>

#include "asf/ByteReader.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {
namespace {

constexpr std::uint64_t kSecond = SimpleIndexWriter::kOneSecond;
constexpr std::uint64_t kMs = 10'000;

using Entries = std::vector<std::pair<std::uint32_t, std::uint16_t>>;

std::pair<std::uint32_t, std::uint16_t> E(std::uint32_t packet, std::uint16_t count) { return {packet, count}; }

Entries Of(const SimpleIndexWriter& index)
{
    Entries out;
    for (const SimpleIndexEntry& e : index.Entries()) out.emplace_back(e.packetNumber, e.packetCount);
    return out;
}

TEST(SimpleIndexWriterTest, EachEntryPointsAtTheLastKeyframeAtOrBeforeItsTime)
{
    // A 3 s preroll: the first keyframe is presented at 3000 ms.
    SimpleIndexWriter index;
    index.AddKeyframe(3000 * kMs, 0, 1);   // A: packets 0..1
    index.AddKeyframe(5500 * kMs, 7, 9);   // B: between entries, never the best for any
    index.AddKeyframe(6000 * kMs, 12, 12); // C: exactly on an entry's time
    index.AddKeyframe(7999 * kMs, 15, 16); // D: just before the 8 s entry
    index.Finish(8200 * kMs);

    const Entries expected = {
        E(0, 2), E(0, 2), E(0, 2),  // 0, 1, 2 s: before the first keyframe, which is the only place to start
        E(0, 2), E(0, 2), E(0, 2),  // 3, 4, 5 s
        E(12, 1), E(12, 1),         // 6, 7 s
        E(15, 2),                   // 8 s, the end
    };
    EXPECT_EQ(Of(index), expected);
    EXPECT_EQ(index.MaximumPacketCount(), 2u) << "B spans 3 packets but no entry points at it";
    EXPECT_EQ(index.SkippedKeyframes(), 0u);
}

TEST(SimpleIndexWriterTest, SerializesTheObjectFieldByField)
{
    SimpleIndexWriter index(500 * kMs);
    index.AddKeyframe(0, 0, 0);
    index.AddKeyframe(700 * kMs, 3, 70004);  // spans more packets than the field holds
    index.Finish(1000 * kMs);
    ASSERT_EQ(index.Entries().size(), 3u);  // 0, 0.5, 1.0 s

    const Guid fileId = Guid::FromText("01234567-89AB-CDEF-0123-456789ABCDEF");
    const std::vector<std::uint8_t> bytes = index.Serialize(fileId);
    ASSERT_EQ(bytes.size(), 56u + 3 * 6);
    EXPECT_EQ(index.SerializedSize(), bytes.size());
    ByteReader r(bytes, "simple index");
    EXPECT_EQ(r.ReadGuid(), guids::kSimpleIndex);
    EXPECT_EQ(r.U64(), bytes.size());
    EXPECT_EQ(r.ReadGuid(), fileId);
    EXPECT_EQ(r.U64(), 500 * kMs);
    EXPECT_EQ(r.U32(), 65535u) << "maximum packet count";
    EXPECT_EQ(r.U32(), 3u);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U16(), 1u);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U16(), 1u);
    EXPECT_EQ(r.U32(), 3u);
    EXPECT_EQ(r.U16(), 65535u) << "packet count saturates";
    EXPECT_TRUE(r.AtEnd());
}

TEST(SimpleIndexWriterTest, KeyframesThatGoBackInTimeArePassedOver)
{
    SimpleIndexWriter index;
    index.AddKeyframe(1000 * kMs, 0, 0);
    index.AddKeyframe(2500 * kMs, 5, 5);
    index.AddKeyframe(2500 * kMs, 6, 6);  // same time: the earlier packet serves the same entries
    index.AddKeyframe(1800 * kMs, 7, 7);  // out of order
    index.AddKeyframe(3100 * kMs, 9, 9);
    index.Finish(3100 * kMs);
    EXPECT_EQ(index.SkippedKeyframes(), 2u);
    EXPECT_EQ(Of(index), (Entries{E(0, 1), E(0, 1), E(0, 1), E(5, 1)}));
}

TEST(SimpleIndexWriterTest, EdgesOfTheTimeline)
{
    {
        SimpleIndexWriter none;
        none.Finish(10 * kSecond);
        EXPECT_FALSE(none.HasKeyframes());
        EXPECT_TRUE(none.Entries().empty()) << "no keyframe, nothing to point at";
        EXPECT_EQ(none.Serialize(Guid{}).size(), 56u);
    }
    {
        // A keyframe at exactly an entry's time serves that entry; the end time is included.
        SimpleIndexWriter exact;
        exact.AddKeyframe(0, 0, 0);
        exact.AddKeyframe(2 * kSecond, 4, 4);
        exact.Finish(2 * kSecond);
        EXPECT_EQ(Of(exact), (Entries{E(0, 1), E(0, 1), E(4, 1)}));
    }
    {
        // An end before the last keyframe keeps the entries that keyframe already needed.
        SimpleIndexWriter shortEnd;
        shortEnd.AddKeyframe(0, 0, 0);
        shortEnd.AddKeyframe(5 * kSecond, 8, 8);
        shortEnd.Finish(1 * kSecond);
        EXPECT_EQ(shortEnd.Entries().size(), 5u);
    }
}

TEST(SimpleIndexWriterTest, RejectsWhatTheObjectCannotHold)
{
    EXPECT_THROW(SimpleIndexWriter(0), std::invalid_argument);
    SimpleIndexWriter index;
    EXPECT_THROW(index.AddKeyframe(0, 5, 4), std::out_of_range);
    EXPECT_THROW(index.AddKeyframe(0, 0x1'0000'0000ull, 0x1'0000'0000ull), std::out_of_range);
    EXPECT_NO_THROW(index.AddKeyframe(0, 0xFFFF'FFFFull, 0xFFFF'FFFFull));
    index.Finish(0);
    EXPECT_THROW(index.Finish(0), std::logic_error);
    EXPECT_THROW(index.AddKeyframe(kSecond, 1, 1), std::logic_error);
}

TEST(IndexConsistencyTest, HeaderClaimsOnlyWhatIsWritten)
{
    const WrittenIndexes simpleOnly{.simpleIndex = true};
    EXPECT_FALSE(KeepHeaderExtensionObject(guids::kIndexParameters, simpleOnly));
    EXPECT_FALSE(KeepHeaderExtensionObject(guids::kMediaObjectIndexParameters, simpleOnly));
    EXPECT_FALSE(KeepHeaderExtensionObject(guids::kTimecodeIndexParameters, simpleOnly));
    EXPECT_FALSE(KeepHeaderExtensionObject(guids::kIndexParameters, WrittenIndexes{}));
    EXPECT_TRUE(KeepHeaderExtensionObject(guids::kIndexParameters, WrittenIndexes{.index = true}));
    EXPECT_TRUE(KeepHeaderExtensionObject(guids::kExtendedStreamProperties, WrittenIndexes{}));
    EXPECT_TRUE(KeepHeaderExtensionObject(guids::kMetadataLibrary, WrittenIndexes{}));

    EXPECT_TRUE(IsSeekable(0, 0)) << "audio only";
    EXPECT_TRUE(IsSeekable(1, 1));
    EXPECT_FALSE(IsSeekable(2, 1));
    EXPECT_FALSE(IsSeekable(1, 0)) << "-noindex on a video file";

    EXPECT_EQ(FilePropertiesFlags(0x1, true), 0x2u) << "broadcast cleared";
    EXPECT_EQ(FilePropertiesFlags(0x2, false), 0x0u);
    EXPECT_EQ(FilePropertiesFlags(0xF0000003, true), 0xF0000002u) << "reserved bits kept";
}

}  // namespace
}  // namespace kestrine::asf
