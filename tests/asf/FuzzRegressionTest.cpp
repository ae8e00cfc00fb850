// Inputs the fuzz targets found faults with, kept so the faults stay fixed.
#include <gtest/gtest.h>

#include "AsfTestBytes.h"
#include "asf/FormatError.h"
#include "asf/HeaderObjects.h"
#include "asf/HeaderParser.h"
#include "asf/KnownGuids.h"

#include <string>

namespace kestrine::asf {
namespace {

using testbytes::Bytes;
using testbytes::Object;

std::vector<std::uint8_t> FilePropertiesWithPreroll(std::uint64_t prerollMs)
{
    Bytes b;
    b.guid(*Guid::Parse("01234567-89AB-CDEF-0123-456789ABCDEF"))
        .u64(123456).u64(0).u64(10).u64(50000000).u64(20000000).u64(prerollMs).u32(2)
        .u32(3200).u32(3200).u32(64000);
    return Object(guids::kFileProperties, b.v);
}

// A preroll near 2^63 ms made the duration and timeline arithmetic overflow (found by the reader's
// fuzz target in the keyframe report's duration line). Such a file is refused by name.
TEST(FuzzRegression, APrerollPastAnyRealRecordingIsRefusedWithItsValue)
{
    try {
        ParseFileProperties(FilePropertiesWithPreroll(0xFFFFFFFFFFFFF3C4ull));
        ADD_FAILURE() << "a preroll of 2^64 - 3132 ms was accepted";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("preroll of 18446744073709548484 ms"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ParseFileProperties(FilePropertiesWithPreroll(kMaxPrerollMs)).prerollMs, kMaxPrerollMs);
    EXPECT_EQ(ParseFileProperties(FilePropertiesWithPreroll(3100)).prerollMs, 3100u);
}

}  // namespace
}  // namespace kestrine::asf
