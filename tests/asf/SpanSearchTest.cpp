#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "asf/AsfReader.h"
#include "asf/JoinCompatibility.h"
#include "asf/SpanSearch.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::asf {
namespace {

std::vector<std::uint32_t> SendTimes(const AsfFile& file)
{
    std::vector<std::uint32_t> times;
    PacketReader reader(file);
    PacketView packet;
    while (reader.Next(packet)) times.push_back(ParseDataPacket(packet.bytes).sendTimeMs);
    return times;
}

TEST(SpanSearchTest, BisectionFindsTheFirstPacketSentFromATime)
{
    test::MediaSpec media;
    media.packetSize = 1000;  // many packets, several sharing one send time
    const AsfFile file = AsfFile::Open(test::MakeMedia(media));
    const std::vector<std::uint32_t> times = SendTimes(file);
    ASSERT_GT(times.size(), 100u);
    for (std::int64_t t = -5; t <= std::int64_t{times.back()} + 5; t += 7) {
        std::uint64_t expected = 0;
        while (expected < times.size() && std::int64_t{times[expected]} < t) ++expected;
        EXPECT_EQ(FirstPacketSentFrom(file, t), expected) << "time " << t;
    }
}

struct Probe {
    double start;
    bool before;
};

TEST(SpanSearchTest, CutStartsOnTheKeyframesFfprobeLists)
{
    test::MediaSpec media;
    media.gopLength = 7;
    media.packetSize = 1500;
    const auto path = test::MakeMedia(media);
    const AsfFile file = AsfFile::Open(path);
    std::vector<long long> keys;
    for (double t : test::ProbeVideoKeyframeTimes(path)) keys.push_back(std::llround(t * 1000));
    ASSERT_GT(keys.size(), 5u);

    const KeyFrameScan scan = ScanKeyFrames(file);
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const long long key = keys[k];
        // Exactly on it, just before and after it (within half a millisecond), and between two.
        for (long long offsetTenths : {0LL, -4LL, 4LL, -6LL, 6LL, 150LL}) {
            const std::int64_t start100ns = key * 10000 + offsetTenths * 1000;
            for (bool before : {false, true}) {
                SCOPED_TRACE("key " + std::to_string(key) + " offset " + std::to_string(offsetTenths) +
                             (before ? " at or before" : " at or after"));
                long long expected = -1;
                const double startMs = static_cast<double>(start100ns) / 10000.0;
                if (before) {
                    expected = keys.front();
                    for (long long x : keys)
                        if (static_cast<double>(x) <= startMs + 0.5) expected = x;
                } else {
                    for (long long x : keys)
                        if (static_cast<double>(x) >= startMs - 0.5) {
                            expected = x;
                            break;
                        }
                }
                const auto cut = FindCutStart(file, start100ns, before);
                if (expected < 0) {
                    EXPECT_FALSE(cut);
                    continue;
                }
                ASSERT_TRUE(cut);
                EXPECT_EQ(cut->timeMs, expected);
                EXPECT_LE(cut->readFrom, cut->packet);
                bool packetMatches = false;
                for (const CutPoint& p : scan.points) packetMatches = packetMatches || (p.timeMs == expected && p.packetIndex == cut->packet);
                EXPECT_TRUE(packetMatches) << "the keyframe begins in packet " << cut->packet;
            }
        }
    }
    EXPECT_FALSE(FindCutStart(file, (keys.back() + 1) * 10000, false)) << "no keyframe after the last";
    EXPECT_EQ(FindCutStart(file, -50'000'000, true)->timeMs, keys.front()) << "before everything: the first";
}

TEST(SpanSearchTest, AudioOnlyFilesCutAtObjectStarts)
{
    test::MediaSpec media;
    media.videoCodec = "";
    const AsfFile file = AsfFile::Open(test::MakeMedia(media));
    const auto cut = FindCutStart(file, 15'000'000, false);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->kind, StreamKind::Audio);
    EXPECT_GE(cut->timeMs, 1500);
    EXPECT_LT(cut->timeMs, 1600) << "audio objects are a few tens of milliseconds apart";
    const auto before = FindCutStart(file, 15'000'000, true);
    ASSERT_TRUE(before);
    EXPECT_LE(before->timeMs, 1500);
    EXPECT_GT(before->timeMs, 1400);
    EXPECT_EQ(EarliestPresentationMs(file), static_cast<std::int64_t>(file.Header().fileProperties.prerollMs));
}

TEST(JoinCompatibilityTest, SameStreamsJoinAndEachDifferenceIsNamed)
{
    const Header a = AsfFile::Open(test::MakeMedia({})).Header();
    EXPECT_FALSE(JoinDifference(a, a));

    test::MediaSpec longer;
    longer.durationSeconds = 2;
    EXPECT_FALSE(JoinDifference(a, AsfFile::Open(test::MakeMedia(longer)).Header())) << "only the length differs";

    auto differs = [&](void (*change)(Header&)) {
        Header b = a;
        change(b);
        const auto d = JoinDifference(a, b);
        return d.value_or("(joinable)");
    };
    auto video = [](Header& h) -> StreamProperties& {
        for (auto& s : h.streams)
            if (s.kind == StreamKind::Video) return s;
        throw std::logic_error("no video");
    };
    EXPECT_EQ(differs([](Header& h) { h.streams.pop_back(); }).rfind("the streams differ: 1, 2 against ", 0), 0u);
    EXPECT_NE(differs([](Header& h) {
                  for (auto& s : h.streams)
                      if (s.kind == StreamKind::Audio) {
                          s.typeSpecificData[4] ^= 1;  // nSamplesPerSec
                          s.audio->samplesPerSecond ^= 1;
                      }
              }).find("sample rate 44100 against 44101 Hz"),
              std::string::npos);
    Header b = a;
    video(b).typeSpecificData.back() ^= 0x10;
    EXPECT_NE(JoinDifference(a, b).value_or("").find("codec setup data"), std::string::npos);
    b = a;
    video(b).errorCorrectionData = {1, 2, 3};
    EXPECT_NE(JoinDifference(a, b).value_or("").find("audio spread"), std::string::npos);

    // The real encoder's file declares a payload extension on its video; without it, objects differ.
    const auto wmv9 = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (std::filesystem::exists(wmv9)) {
        const Header w = AsfFile::Open(wmv9).Header();
        EXPECT_FALSE(JoinDifference(w, w));
        Header plain = w;
        for (auto& e : plain.extension.extendedStreamProperties) e.payloadExtensionSystems.clear();
        EXPECT_NE(JoinDifference(w, plain).value_or("").find("payload extensions"), std::string::npos);
    }
}

}  // namespace
}  // namespace kestrine::asf

namespace kestrine::asf {
namespace {

// Some writers leave every send time at 0; bisection on them is meaningless, and the search must
// still find the keyframe by looking further back.
TEST(SpanSearchTest, SendTimesOfZeroStillFindTheKeyframe)
{
    const auto original = test::MakeMedia({});
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(original);
    const AsfFile file = AsfFile::Open(original);
    auto width = [](unsigned type) -> std::size_t { return type == 3 ? 4 : type; };
    for (std::uint64_t i = 0; i < file.Data().packetCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(file.Data().PacketOffset(i));
        const std::span<const std::uint8_t> packet(bytes.data() + at, file.Data().packetSize);
        const ParsedPacket parsed = ParseDataPacket(packet);
        std::size_t field = (parsed.hasErrorCorrection ? 1 + parsed.errorCorrectionDataLength : 0) + 2;
        field += width((parsed.lengthTypeFlags >> 5) & 3) + width((parsed.lengthTypeFlags >> 1) & 3) +
                 width((parsed.lengthTypeFlags >> 3) & 3);
        for (std::size_t b = 0; b < 4; ++b) bytes[at + field + b] = 0;
        ASSERT_EQ(ParseDataPacket(packet).sendTimeMs, 0u);
    }
    const auto zeroed = test::FreshTestDir() / "zero-send-times.wmv";
    test::WriteFileBytes(zeroed, bytes);
    const AsfFile patched = AsfFile::Open(zeroed);
    const auto expected = FindCutStart(file, 20'000'000, false);
    const auto got = FindCutStart(patched, 20'000'000, false);
    ASSERT_TRUE(expected);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->timeMs, expected->timeMs);
    EXPECT_EQ(got->packet, expected->packet);
    EXPECT_LE(got->readFrom, got->packet);
}

}  // namespace
}  // namespace kestrine::asf
