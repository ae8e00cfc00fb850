#include "asf/AsfFile.h"
#include "asf/PlaybackStreams.h"
#include "asf/PlayedLength.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

namespace kestrine::asf {
namespace {

std::filesystem::path Real(const char* name) { return test::SharedMediaDir() / "real" / name; }

#define REQUIRE_REAL(path) \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not present"

TEST(PlaybackStreams, OneOfEachExclusionGroupThenOneVideoAndOneAudio)
{
    const auto tika = Real("tika_testASF.asf");
    const auto multilang = Real("wcs_multilang.wma");
    REQUIRE_REAL(tika);
    REQUIRE_REAL(multilang);

    // Two video streams at 13.8 and 9.3 kbit/s in a bitrate group: the higher one is shown.
    const AsfFile mbr = AsfFile::Open(tika);
    ASSERT_EQ(ExclusionGroups(mbr.Header()).size(), 1u);
    EXPECT_TRUE(ExclusionGroups(mbr.Header())[0].byBitrate);
    EXPECT_EQ(PlaybackStreams(mbr.Header()), (std::vector<std::uint16_t>{1, 2}));

    // Five languages of one sound: the first listed is heard.
    const AsfFile languages = AsfFile::Open(multilang);
    EXPECT_FALSE(ExclusionGroups(languages.Header())[0].byBitrate);
    EXPECT_EQ(PlaybackStreams(languages.Header()), (std::vector<std::uint16_t>{1}));

    // Without exclusions the lowest-numbered stream of each kind; a third of a kind is left out.
    Header h = mbr.Header();
    h.objects.clear();
    EXPECT_EQ(PlaybackStreams(h), (std::vector<std::uint16_t>{1, 2}));
}

TEST(PlaybackStreams, ProtectedContentAndLiveCaptureDurations)
{
    const auto drm = Real("fs_wmv_drm.wmv");
    const auto live = Real("moon_timecode-short-broadcast.wmv");
    REQUIRE_REAL(drm);
    REQUIRE_REAL(live);
    EXPECT_TRUE(IsProtected(AsfFile::Open(drm).Header()));
    EXPECT_FALSE(IsProtected(AsfFile::Open(test::SharedMediaDir() / "wmv9-wma2-768x576.wmv").Header()));

    // A broadcast capture declares no duration: it plays to the end of its last whole frame. Its
    // last packet is cut off, so the frame ffprobe lists last is not whole: the one before ends
    // where it begins.
    const AsfFile capture = AsfFile::Open(live);
    EXPECT_FALSE(HeaderDurationValid(capture.Header().fileProperties));
    const auto packets = test::ProbePackets(live, "v:0");
    ASSERT_GE(packets.size(), 2u);
    const double preroll = static_cast<double>(capture.Header().fileProperties.prerollMs) / 1000;
    EXPECT_NEAR(static_cast<double>(PlayDuration(capture)) / 1e7 - preroll, packets.back().ptsSeconds, 0.002);
}

}  // namespace
}  // namespace kestrine::asf
