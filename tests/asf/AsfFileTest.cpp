#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "AsfTestBytes.h"
#include "asf/AsfFile.h"
#include "asf/FormatError.h"
#include "asf/KeyFrameScan.h"
#include "asf/KnownGuids.h"
#include "asf/MediaObjects.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::asf {
namespace {

namespace fs = std::filesystem;

// One packet as ffmpeg's own demuxer delivers it with -c copy (the framecrc muxer's lines).
struct CopiedPacket {
    long long pts = 0;
    std::size_t size = 0;
    std::uint32_t checksum = 0;
    bool key = false;
};

// Per ffmpeg stream index, in order.
std::map<int, std::vector<CopiedPacket>> FfmpegPackets(const fs::path& file)
{
    auto r = test::RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-i", file.string(), "-map", "0", "-c", "copy",
                                         "-f", "framecrc", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<int, std::vector<CopiedPacket>> out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        int stream;
        long long dts, pts, duration;
        char comma;
        CopiedPacket p;
        std::string crc;
        f >> stream >> comma >> dts >> comma >> pts >> comma >> duration >> comma >> p.size >> comma >> crc;
        if (!crc.empty() && crc.back() == ',') crc.pop_back();
        p.checksum = static_cast<std::uint32_t>(std::stoul(crc, nullptr, 16));
        p.pts = pts;
        p.key = line.find("F=0x0") == std::string::npos;  // framecrc marks packets that are not key
        out[stream].push_back(p);
    }
    return out;
}

// The checksum framecrc prints: Adler-32 started from 0.
std::uint32_t FramecrcChecksum(const std::vector<std::uint8_t>& data)
{
    std::uint32_t a = 0, b = 0;
    for (std::uint8_t c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::map<int, std::vector<MediaObject>> ReadObjects(const AsfFile& file)
{
    std::map<int, std::vector<MediaObject>> out;
    MediaObjectReader reader(file);
    MediaObject o;
    while (reader.Next(o)) out[o.streamNumber].push_back(std::move(o));
    EXPECT_EQ(reader.DamagedPackets(), 0u);
    EXPECT_EQ(reader.DroppedObjects(), 0u);
    return out;
}

// Our media objects of `stream` against ffmpeg's packets of `ffIndex`: same bytes, times and key flags.
// Audio packets are all key to ffmpeg whatever the file says, so only video key flags are compared.
void ExpectSameObjects(const AsfFile& file, const std::vector<MediaObject>& ours, const std::vector<CopiedPacket>& theirs,
                       bool compareKey = true)
{
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE("object " + std::to_string(i));
        EXPECT_EQ(ours[i].data.size(), theirs[i].size);
        EXPECT_EQ(FramecrcChecksum(ours[i].data), theirs[i].checksum);
        EXPECT_EQ(file.TimelineMs(ours[i].presentationTimeMs), theirs[i].pts);
        if (compareKey) {
            EXPECT_EQ(ours[i].keyFrame, theirs[i].key);
        }
    }
}

TEST(AsfFile, ReadsWhatFfmpegWrote)
{
    test::MediaSpec spec;
    spec.videoCodec = "wmv1";
    spec.packetSize = 2000;
    spec.width = 176;
    spec.height = 144;
    fs::path path = test::MakeMedia(spec);
    AsfFile file = AsfFile::Open(path);
    const Header& h = file.Header();

    EXPECT_EQ(h.fileProperties.prerollMs, 3100u);
    EXPECT_EQ(file.Data().packetSize, 2000u);
    EXPECT_EQ(file.Data().packetCount, h.fileProperties.dataPacketsCount);
    EXPECT_FALSE(file.Data().truncated);
    ASSERT_EQ(h.streams.size(), 2u);
    const StreamProperties* video = h.LowestStream(StreamKind::Video);
    ASSERT_TRUE(video && video->video);
    EXPECT_EQ(video->number, 1);
    EXPECT_EQ(video->video->CompressionText(), "WMV1");
    EXPECT_EQ(video->video->width, 176);
    EXPECT_EQ(video->video->height, 144);
    EXPECT_EQ(video->errorCorrectionType, guids::kNoErrorCorrection);
    const StreamProperties* audio = h.LowestStream(StreamKind::Audio);
    ASSERT_TRUE(audio && audio->audio);
    EXPECT_EQ(audio->audio->formatTag, 0x0161);
    EXPECT_EQ(audio->audio->channels, 2);
    EXPECT_EQ(audio->audio->samplesPerSecond, 44100u);
    EXPECT_FALSE(audio->audio->extra.empty());
    EXPECT_EQ(audio->errorCorrectionType, guids::kAudioSpread);
    ASSERT_TRUE(audio->audioSpread);
    EXPECT_GE(audio->audioSpread->span, 1);
    ASSERT_EQ(file.SimpleIndexes().size(), 1u);
    EXPECT_EQ(file.SimpleIndexes()[0].entryTimeInterval, 10000000u);

    // The header's children, laid end to end after its 30-byte head, are the file's header bytes.
    auto bytes = test::ReadFileBytes(path);
    std::vector<std::uint8_t> rebuilt(bytes.begin(), bytes.begin() + 30);
    for (const auto& o : h.objects) rebuilt.insert(rebuilt.end(), o.bytes.begin(), o.bytes.end());
    EXPECT_EQ(rebuilt, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(rebuilt.size())));
    EXPECT_EQ(rebuilt.size(), file.Data().offset);
    // Packet positions are real: each packet starts where the Data Object says.
    EXPECT_EQ(file.Data().PacketOffset(3), file.Data().offset + 50 + 3 * 2000);

    auto ours = ReadObjects(file);
    auto theirs = FfmpegPackets(path);
    ExpectSameObjects(file, ours[1], theirs[0]);
    ExpectSameObjects(file, ours[2], theirs[1], false);
}

TEST(AsfFile, RealEncoderSampleReassemblesLikeFfmpeg)
{
    fs::path path = test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!fs::exists(path)) GTEST_SKIP() << "sample missing";
    AsfFile file = AsfFile::Open(path);
    const Header& h = file.Header();
    EXPECT_EQ(h.fileProperties.prerollMs, 5000u);
    EXPECT_EQ(file.Data().packetSize, 8000u);
    EXPECT_EQ(file.Data().packetCount, 238u);
    const StreamProperties* video = h.FindStream(2);
    ASSERT_TRUE(video && video->video);
    EXPECT_EQ(video->video->CompressionText(), "WMV3");
    EXPECT_EQ(video->video->width, 768);
    const ExtendedStreamProperties* esp = h.FindExtendedStreamProperties(2);
    ASSERT_NE(esp, nullptr);
    EXPECT_EQ(esp->averageTimePerFrame, 400000u);  // 25 fps
    EXPECT_FALSE(h.codecs.empty());
    ASSERT_TRUE(h.FindStream(1) && h.FindStream(1)->kind == StreamKind::Audio);

    auto ours = ReadObjects(file);
    auto theirs = FfmpegPackets(path);
    // ffmpeg numbers streams in header order: audio (1) first, then video (2).
    ExpectSameObjects(file, ours[2], theirs[1]);
}

// Writes `bytes` with the Data Object's size and both packet counts zeroed and, optionally, the
// broadcast flag set: what a live capture leaves behind.
fs::path Unmeasured(const fs::path& dir, std::vector<std::uint8_t> bytes, bool broadcast, bool dropIndex,
                    const AsfFile& original)
{
    auto put64 = [&](std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    std::size_t fp = 0;
    for (const auto& o : original.Header().objects)
        if (o.id == guids::kFileProperties) fp = static_cast<std::size_t>(o.fileOffset);
    put64(fp + 24 + 16 + 16, 0);                 // File Properties: data packets count
    if (broadcast) bytes[fp + 24 + 16 + 8 * 6] |= 0x01;
    const std::size_t data = static_cast<std::size_t>(original.Data().offset);
    put64(data + 16, 0);                         // Data Object size
    put64(data + 40, 0);                         // Total Data Packets
    if (dropIndex) bytes.resize(static_cast<std::size_t>(original.Data().End()));
    fs::path out = dir / (std::string(broadcast ? "broadcast" : "unsized") + (dropIndex ? "-noindex" : "") + ".wmv");
    test::WriteFileBytes(out, bytes);
    return out;
}

TEST(AsfFile, FilesWithoutSizesAreMeasuredFromTheirPackets)
{
    fs::path dir = test::FreshTestDir();
    test::MediaSpec spec;
    spec.durationSeconds = 5.0;
    fs::path path = test::MakeMedia(spec);
    AsfFile original = AsfFile::Open(path);
    const auto bytes = test::ReadFileBytes(path);
    const auto expected = ScanKeyFrames(original);
    ASSERT_GT(expected.points.size(), 2u);

    for (bool broadcast : {false, true}) {
        for (bool dropIndex : {false, true}) {
            SCOPED_TRACE(std::string(broadcast ? "broadcast" : "size 0") + (dropIndex ? ", no index" : ", index follows"));
            AsfFile f = AsfFile::Open(Unmeasured(dir, bytes, broadcast, dropIndex, original));
            EXPECT_FALSE(f.Data().sizeKnown);
            EXPECT_FALSE(f.Data().truncated);
            // The index after the packets is not mistaken for packets.
            EXPECT_EQ(f.Data().packetCount, original.Data().packetCount);
            auto scan = ScanKeyFrames(f);
            EXPECT_EQ(scan.damagedPackets, 0u);
            ASSERT_EQ(scan.points.size(), expected.points.size());
            for (std::size_t i = 0; i < scan.points.size(); ++i) EXPECT_EQ(scan.points[i].timeMs, expected.points[i].timeMs);
        }
    }
}

// A file that stops inside a packet still gives the objects that packet holds whole before the cut,
// exactly as the whole file has them, and nothing past it.
TEST(AsfFile, AFileCutInsideAPacketGivesTheObjectsWhollyBeforeTheCut)
{
    test::MediaSpec spec;
    spec.durationSeconds = 2.0;
    const fs::path path = test::MakeMedia(spec);
    const AsfFile whole = AsfFile::Open(path);
    const auto& d = whole.Data();
    const std::uint64_t cutPacket = d.packetCount / 2;
    auto bytes = test::ReadFileBytes(path);
    bytes.resize(static_cast<std::size_t>(d.PacketOffset(cutPacket) + d.packetSize * 3 / 4));
    const fs::path cut = test::FreshTestDir() / "cut.wmv";
    test::WriteFileBytes(cut, bytes);

    std::vector<MediaObject> expected;
    MediaObjectReader all(whole);
    for (MediaObject o; all.Next(o);) expected.push_back(o);
    const AsfFile cutFile = AsfFile::Open(cut);
    MediaObjectReader partial(cutFile);
    std::size_t n = 0;
    bool fromCutPacket = false;
    for (MediaObject o; partial.Next(o); ++n) {
        ASSERT_LT(n, expected.size());
        EXPECT_EQ(o.presentationTimeMs, expected[n].presentationTimeMs);
        EXPECT_EQ(o.data, expected[n].data) << n;
        fromCutPacket = fromCutPacket || o.firstPacketIndex == cutPacket;
    }
    EXPECT_TRUE(fromCutPacket);
    EXPECT_LT(n, expected.size());
}

TEST(AsfFile, ParsesAnIndexObjectAfterThePackets)
{
    fs::path dir = test::FreshTestDir();
    test::MediaSpec spec;
    spec.durationSeconds = 2.0;
    auto bytes = test::ReadFileBytes(test::MakeMedia(spec));
    testbytes::Bytes body;
    body.u32(1000).u16(2).u32(1)                  // interval, two specifiers, one block
        .u16(1).u16(1).u16(2).u16(3)              // stream 1 nearest past packet, stream 2 cleanpoint
        .u32(2).u64(0).u64(100)                   // two entries, block positions
        .u32(0).u32(3200).u32(6400).u32(9600);    // offsets, one per specifier per entry
    auto index = testbytes::Object(guids::kIndex, body.v);
    bytes.insert(bytes.end(), index.begin(), index.end());
    test::WriteFileBytes(dir / "indexed.wmv", bytes);

    AsfFile f = AsfFile::Open(dir / "indexed.wmv");
    EXPECT_TRUE(f.Warnings().empty());
    ASSERT_EQ(f.Indexes().size(), 1u);
    const IndexObject& idx = f.Indexes()[0];
    EXPECT_EQ(idx.entryTimeIntervalMs, 1000u);
    ASSERT_EQ(idx.specifiers.size(), 2u);
    EXPECT_EQ(idx.specifiers[1].indexType, 3);
    ASSERT_EQ(idx.blocks.size(), 1u);
    EXPECT_EQ(idx.blocks[0].positions, (std::vector<std::uint64_t>{0, 100}));
    EXPECT_EQ(idx.blocks[0].offsets, (std::vector<std::uint32_t>{0, 3200, 6400, 9600}));
    EXPECT_EQ(f.Objects().back().id, guids::kIndex);

    // An entry count that runs past the object is a warning, never an over-read.
    bytes[bytes.size() - index.size() + 24 + 4 + 2 + 4 + 8] = 0xFF;
    test::WriteFileBytes(dir / "bad-index.wmv", bytes);
    AsfFile bad = AsfFile::Open(dir / "bad-index.wmv");
    EXPECT_TRUE(bad.Indexes().empty());
    EXPECT_EQ(bad.Warnings().size(), 1u);
}

TEST(AsfFile, ConstantMemoryReadingDoesNotDependOnTheBufferSize)
{
    test::MediaSpec spec;
    spec.durationSeconds = 3.0;
    AsfFile file = AsfFile::Open(test::MakeMedia(spec));
    // A buffer of one packet and one of many give the same packets in the same places.
    PacketReader small(file, 0, 1), large(file, 0, 1u << 20);
    PacketView a, b;
    std::uint64_t n = 0;
    while (small.Next(a)) {
        ASSERT_TRUE(large.Next(b));
        EXPECT_EQ(a.index, b.index);
        EXPECT_EQ(a.fileOffset, b.fileOffset);
        EXPECT_TRUE(std::equal(a.bytes.begin(), a.bytes.end(), b.bytes.begin(), b.bytes.end()));
        ++n;
    }
    EXPECT_FALSE(large.Next(b));
    EXPECT_EQ(n, file.Data().packetCount);
    // Seeking lands on the packet asked for.
    large.Seek(5);
    ASSERT_TRUE(large.Next(b));
    EXPECT_EQ(b.index, 5u);
    EXPECT_EQ(b.fileOffset, file.Data().PacketOffset(5));
}

}  // namespace
}  // namespace kestrine::asf
