// Packets that need only new times are passed on as they are: a join's first input keeps its bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>

#include "CutJoinSupport.h"
#include "asf/AsfReader.h"
#include "asf/Remuxer.h"
#include "asf/SpanSearch.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

namespace fs = std::filesystem;
using namespace testing;

std::span<const std::uint8_t> Packets(const std::vector<std::uint8_t>& file, const asf::AsfFile& parsed)
{
    const auto& d = parsed.Data();
    return std::span(file).subspan(static_cast<std::size_t>(d.packetsOffset),
                                   static_cast<std::size_t>(d.packetCount * d.packetSize));
}

TEST(PassOnTest, AJoinPassesOnMostPacketsAndKeepsItsFirstInputsBytes)
{
    const fs::path source = test::MakeMedia({});
    const fs::path dir = test::FreshTestDir();
    const fs::path first = dir / "first.wmv";
    const fs::path second = dir / "second.wmv";
    for (const auto& [out, from, to] : {std::tuple{first, "0.5", "2.5"}, std::tuple{second, "2", "4"}})
        ASSERT_EQ(RunAsfbin({"-i", source.string(), "-o", out.string(), "-start", from, "-stop", to, "-y"}).exitCode, 0);

    const asf::AsfFile a = asf::AsfFile::Open(first);
    const asf::AsfFile b = asf::AsfFile::Open(second);
    asf::RemuxSource sa, sb;
    sa.file = &a;
    sb.file = &b;
    sb.alignToPrevious = true;
    sb.earliestPresentationMs = asf::EarliestPresentationMs(b);
    MemorySink sink;
    const asf::RemuxResult joined = asf::Remux({sa, sb}, sink, {});

    // Only the packets at the edges of a span are rebuilt.
    EXPECT_GE(joined.packetsPassedOn + 8, joined.packets);
    const fs::path out = dir / "joined.wmv";
    test::WriteFileBytes(out, sink.bytes);
    const asf::AsfFile j = asf::AsfFile::Open(out);
    const auto firstBytes = test::ReadFileBytes(first);
    const auto firstPackets = Packets(firstBytes, a);
    const auto joinedPackets = Packets(sink.bytes, j).first(firstPackets.size());
    EXPECT_TRUE(std::equal(firstPackets.begin(), firstPackets.end(), joinedPackets.begin()));
    ExpectDecodesCleanly(out);

    // The same join by the tool: the first input's packets are copied as they are, each at the same
    // place within a 4096-byte block as in the input.
    const fs::path written = dir / "written.wmv";
    const test::ProgramResult r = RunAsfbin({"-i", first.string(), "-i", second.string(), "-o", written.string(), "-y"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto writtenBytes = test::ReadFileBytes(written);
    const asf::AsfFile w = asf::AsfFile::Open(written);
    EXPECT_EQ(w.Data().packetsOffset % 4096, a.Data().packetsOffset % 4096);
    const auto writtenPackets = Packets(writtenBytes, w).first(firstPackets.size());
    EXPECT_TRUE(std::equal(firstPackets.begin(), firstPackets.end(), writtenPackets.begin()));
    EXPECT_EQ(Packets(writtenBytes, w).size(), Packets(sink.bytes, j).size());
}

// FFmpeg numbers media objects from 1: a copy keeps that numbering, and with it every packet's bytes.
TEST(PassOnTest, ACopyKeepsEveryPacketOfAFileFromAnotherWriter)
{
    const fs::path source = test::MakeMedia({});
    const fs::path copy = test::FreshTestDir() / "copy.wmv";
    const test::ProgramResult r = RunAsfbin({"-i", source.string(), "-o", copy.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto sourceBytes = test::ReadFileBytes(source);
    const auto copyBytes = test::ReadFileBytes(copy);
    const auto original = Packets(sourceBytes, asf::AsfFile::Open(source));
    const auto copied = Packets(copyBytes, asf::AsfFile::Open(copy));
    EXPECT_TRUE(std::equal(original.begin(), original.end(), copied.begin(), copied.end()));
}

// A Record chain's joins: each result, joined to the next segment, is read only from near its end,
// and every join still writes what reading all of it gives.
TEST(PassOnTest, AJoinReadingItsOwnFirstInputFromNearItsEndWritesWhatAWholeReadWrites)
{
    test::MediaSpec spec;
    spec.durationSeconds = 9.0;
    const fs::path source = test::MakeMedia(spec);
    const fs::path dir = test::FreshTestDir();
    fs::path result = dir / "segment0.wmv";
    ASSERT_EQ(RunAsfbin({"-i", source.string(), "-o", result.string(), "-start", "0", "-stop", "3", "-y"}).exitCode, 0);
    std::uint64_t resumed = 0;
    for (int k = 1; k <= 4; ++k) {
        const fs::path segment = dir / ("segment" + std::to_string(k) + ".wmv");
        const fs::path joined = dir / ("joined" + std::to_string(k) + ".wmv");
        const std::string from = std::to_string(13 * k / 10) + "." + std::to_string(13 * k % 10);
        const std::string to = std::to_string(13 * k / 10 + 2) + "." + std::to_string(13 * k % 10);
        ASSERT_EQ(RunAsfbin({"-i", source.string(), "-o", segment.string(), "-start", from, "-stop", to, "-y"}).exitCode, 0);
        const test::ProgramResult r = RunAsfbin({"-i", result.string(), "-i", segment.string(), "-o", joined.string(), "-y"});
        ASSERT_EQ(r.exitCode, 0) << r.out;

        const asf::AsfFile a = asf::AsfFile::Open(result);
        const asf::AsfFile b = asf::AsfFile::Open(segment);
        asf::RemuxSource sa, sb;
        sa.file = &a;
        sb.file = &b;
        sb.alignToPrevious = true;
        sb.earliestPresentationMs = asf::EarliestPresentationMs(b);
        asf::RemuxOptions whole;
        whole.resumeOwnFirstInput = false;
        MemorySink wholeSink, resumedSink;
        const asf::RemuxResult w = asf::Remux({sa, sb}, wholeSink, whole);
        const asf::RemuxResult f = asf::Remux({sa, sb}, resumedSink, {});
        resumed += f.packetsCopiedUnread;
        EXPECT_EQ(f.inputEndMs, w.inputEndMs) << k;

        const asf::AsfFile out = asf::AsfFile::Open(joined);
        test::WriteFileBytes(dir / "whole.wmv", wholeSink.bytes);
        EXPECT_TRUE(WithoutRunIdentity(test::ReadFileBytes(joined), out.Data().fileId) ==
                    WithoutRunIdentity(wholeSink.bytes, asf::AsfFile::Open(dir / "whole.wmv").Data().fileId))
            << "join " << k;
        result = joined;
    }
    EXPECT_GT(resumed, 0u);
    ExpectDecodesCleanly(result);
}

}  // namespace
}  // namespace kestrine::cutter
