#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "asf/ByteReader.h"
#include "asf/Guid.h"
#include "asf/KnownGuids.h"

namespace kestrine::asf {
namespace {

TEST(Guid, TextRoundTripsAndFileByteOrderMatchesTheFormat)
{
    // The Header Object GUID as it appears in every ASF file's first 16 bytes.
    const std::vector<std::uint8_t> onDisk = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    ByteReader r(onDisk, "test");
    Guid g = r.ReadGuid();
    EXPECT_EQ(g, guids::kHeader);
    EXPECT_EQ(g.ToString(), "75B22630-668E-11CF-A6D9-00AA0062CE6C");
    EXPECT_EQ(Guid::Parse("{75b22630-668e-11cf-a6d9-00aa0062ce6c}"), g);
    EXPECT_FALSE(Guid::Parse("75B22630-668E-11CF-A6D9-00AA0062CE6").has_value());
    EXPECT_FALSE(Guid::Parse("75B22630x668E-11CF-A6D9-00AA0062CE6C").has_value());
    EXPECT_FALSE(Guid::Parse("75B22630-668E-11CF-A6D9-00AA0062CEZC").has_value());
    EXPECT_TRUE(Guid{}.IsNull());
    EXPECT_FALSE(g.IsNull());
}

TEST(Guid, KnownObjectGuidsAreDistinct)
{
    const std::vector<Guid> all = {
        guids::kHeader, guids::kData, guids::kSimpleIndex, guids::kIndex, guids::kMediaObjectIndex,
        guids::kTimecodeIndex, guids::kFileProperties, guids::kStreamProperties, guids::kHeaderExtension,
        guids::kCodecList, guids::kScriptCommand, guids::kMarker, guids::kBitrateMutualExclusion,
        guids::kErrorCorrection, guids::kContentDescription, guids::kExtendedContentDescription,
        guids::kContentBranding, guids::kStreamBitrateProperties, guids::kContentEncryption,
        guids::kExtendedContentEncryption, guids::kDigitalSignature, guids::kPadding,
        guids::kExtendedStreamProperties, guids::kAdvancedMutualExclusion, guids::kGroupMutualExclusion,
        guids::kStreamPrioritization, guids::kBandwidthSharing, guids::kLanguageList, guids::kMetadata,
        guids::kMetadataLibrary, guids::kIndexParameters, guids::kMediaObjectIndexParameters,
        guids::kTimecodeIndexParameters, guids::kCompatibility, guids::kAdvancedContentEncryption,
        guids::kAudioMedia, guids::kVideoMedia, guids::kCommandMedia, guids::kJfifMedia,
        guids::kDegradableJpegMedia, guids::kFileTransferMedia, guids::kBinaryMedia, guids::kNoErrorCorrection,
        guids::kAudioSpread, guids::kReserved1, guids::kReserved2, guids::kReserved3, guids::kReserved4};
    EXPECT_EQ(std::set<Guid>(all.begin(), all.end()).size(), all.size());
}

TEST(ByteReader, ReadsLittleEndianAndRefusesToRunPastItsEnd)
{
    const std::vector<std::uint8_t> bytes = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAA};
    ByteReader r(bytes, "Sample Object");
    EXPECT_EQ(r.U8(), 0x01);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0x12345678u);
    EXPECT_EQ(r.Remaining(), 1u);
    try {
        r.U16();
        FAIL() << "read past the end";
    } catch (const FormatError& e) {
        EXPECT_STREQ(e.what(), "Sample Object is truncated");
    }
    // A failed read consumes nothing.
    EXPECT_EQ(r.U8(), 0xAA);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_THROW(r.Skip(1), FormatError);
    EXPECT_THROW(r.Seek(9), FormatError);

    ByteReader whole(bytes, "outer");
    whole.Skip(1);
    ByteReader inner = whole.Sub(2, "inner");
    EXPECT_EQ(inner.ReadByLengthType(2), 0x1234u);
    EXPECT_EQ(inner.ReadByLengthType(0), 0u);
    EXPECT_THROW(inner.ReadByLengthType(1), FormatError);
    EXPECT_THROW(whole.Bytes(100), FormatError);
    // Sizes near the top of the range must not wrap around the bounds check.
    EXPECT_THROW(whole.Bytes(static_cast<std::size_t>(-1)), FormatError);
}

}  // namespace
}  // namespace kestrine::asf
