#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>

#include "MemoryLogText.h"
#include "RunnerChildSupport.h"
#include "core/KeyFrameQuery.h"
#include "support/TestMedia.h"
#include "support/TestPaths.h"

using namespace kestrine::core;
using kestrine::test::MemoryLogText;
namespace fs = std::filesystem;

namespace {

// Fourteen lines the parse never looks at, then `body`.
QStringList Report(const QStringList& body)
{
    QStringList lines;
    for (int i = 0; i < 14; ++i)
        lines << QStringLiteral("header line %1").arg(i);
    return lines + body;
}

// Records how the Working notice was switched.
struct NoticeRecord {
    std::vector<bool> calls;
    WorkingNotice Notice()
    {
        return [this](bool visible) { calls.push_back(visible); };
    }
};

class ThrowingLog final : public LogText {
public:
    void AppendText(const QString&) override {}
    void AppendLine(const QString&) override { throw std::runtime_error("log full"); }
    QStringList Lines() const override { return {}; }
    void Clear() override {}
};

}  // namespace

TEST(LeadingNumberTest, DigitsBeforeTheFirstStoppingCharacterMakeOneWholeNumber)
{
    EXPECT_EQ(LeadingNumber("     12345  X"), 12345);
    EXPECT_EQ(LeadingNumber("0  X"), 0);
    EXPECT_EQ(LeadingNumber("  12.5  X"), 125);     // the point is passed over
    EXPECT_EQ(LeadingNumber("  .5  X"), 5);
    EXPECT_EQ(LeadingNumber("-40  X"), 40);         // the sign is ignored
    EXPECT_EQ(LeadingNumber("+7  X"), 7);
    EXPECT_EQ(LeadingNumber("1e3  X"), 1);          // the exponent is read, not applied
    EXPECT_EQ(LeadingNumber("1.5e-3  X"), 15);
    EXPECT_EQ(LeadingNumber("12e  X"), 12);
    EXPECT_EQ(LeadingNumber("1.2.3  X"), 12);       // a second point ends the number
    EXPECT_EQ(LeadingNumber("2002ms  X"), 2002);
}

TEST(LeadingNumberTest, NoDigitGivesZero)
{
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("   "), 0);
    EXPECT_EQ(LeadingNumber("  X"), 0);
    EXPECT_EQ(LeadingNumber("-  X"), 0);
    EXPECT_EQ(LeadingNumber(".  X"), 0);
    EXPECT_EQ(LeadingNumber("\t12  X"), 0);  // only space characters are skipped
    EXPECT_EQ(LeadingNumber("e5"), 0);
}

TEST(LeadingNumberTest, ALineThatIsOnlyANumberIsTakenExactly)
{
    EXPECT_EQ(LeadingNumber("12.5"), 12.5);
    EXPECT_EQ(LeadingNumber("  -3e2"), -300);
    EXPECT_EQ(LeadingNumber("0.1"), 0.1);
    EXPECT_EQ(LeadingNumber("+.25"), 0.25);
    EXPECT_EQ(LeadingNumber("7."), 7);
    EXPECT_EQ(LeadingNumber("1e"), 1);    // not well formed: digits only
    EXPECT_EQ(LeadingNumber("12.5 "), 125);  // a trailing blank stops the number
}

TEST(KeyFrameReportTest, MarkedLinesFromTheFifteenthOnAreReadInMilliseconds)
{
    const QStringList lines = Report({"40", "0  X", "2002  X", "4004  X", " "});
    EXPECT_EQ(ParseKeyFrameReport(lines), (std::vector<double>{0.0, 2.002, 4.004}));
}

TEST(KeyFrameReportTest, TheMarkerMustBeTwoBlanksAndACapitalXFromLineFourteen)
{
    QStringList lines = Report({"100 X", "200  x", "300  X trailing text", "  400  X"});
    lines[13] = QStringLiteral("999  X");  // among the first fourteen: never looked at
    EXPECT_EQ(ParseKeyFrameReport(lines), (std::vector<double>{0.3, 0.4}));
    EXPECT_TRUE(ParseKeyFrameReport({}).empty());
    EXPECT_TRUE(ParseKeyFrameReport(QStringList(14, QStringLiteral("5  X"))).empty());
}

TEST(KeyFrameReportTest, TheBlockStartsAtTheFirstMarkedLineAndCountsAllMarks)
{
    // Three marks: the three lines from the first are read, the unmarked one among them as 0,
    // and the mark after the block is not read.
    const QStringList lines = Report({"header", "1000  X", "not a number", "2000  X", "3000  X"});
    EXPECT_EQ(ParseKeyFrameReport(lines), (std::vector<double>{1.0, 0.0, 2.0}));
}

TEST(KeyFrameReportTest, DuplicatesAndDisorderAreKept)
{
    const QStringList lines = Report({"2000  X", "2000  X", "1000  X"});
    EXPECT_EQ(ParseKeyFrameReport(lines), (std::vector<double>{2.0, 2.0, 1.0}));
}

class KeyFrameQueryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = kestrine::test::FreshTestDir() / "editor dir \"$(x)\"";
        kestrine::test::CopyChildTo(dir_ / "asfbin.exe");
        state_.EditorDir = dir_.string() + "/";
        state_.PlayerDuration = 12.0;
    }
    void WriteReport(const std::string& text) { std::ofstream(dir_ / "report.txt") << text; }

    fs::path dir_;
    EditState state_;
    MemoryLogText log_;
    NoticeRecord notice_;
};

TEST_F(KeyFrameQueryTest, RunsTheReportOnTheSourceAndReadsTheLog)
{
    std::string report;
    for (int i = 0; i < 14; ++i)
        report += "banner " + std::to_string(i) + "  X\n";
    report += "      0  X\n   2002  X\n   4004  X\nend\n";
    WriteReport(report);
    state_.KeyFrames = {99.0};
    QueryKeyFrames(state_, "/videos/my clip.wmv", log_, notice_.Notice());
    EXPECT_EQ(state_.KeyFrames, (std::vector<double>{0.0, 2.002, 4.004}));
    EXPECT_EQ(notice_.calls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(log_.Text().endsWith(QLatin1String("end\n ")));
}

TEST_F(KeyFrameQueryTest, GivesTheCutterTheSourceAsOneArgument)
{
    const std::string source = "/videos/-odd `name` $(x)\n.wmv";
    QueryKeyFrames(state_, source, log_, notice_.Notice());
    EXPECT_EQ(kestrine::test::EchoedArguments(log_.Text()), (std::vector<std::string>{"-i", source, "-infokf"}));
    EXPECT_TRUE(state_.KeyFrames.empty());
}

TEST_F(KeyFrameQueryTest, AMissingCutterLeavesNoKeyframesAndHidesTheNotice)
{
    state_.EditorDir = (dir_ / "nowhere").string() + "/";
    state_.KeyFrames = {1.0};
    QueryKeyFrames(state_, "/v/a.wmv", log_, notice_.Notice());
    EXPECT_TRUE(state_.KeyFrames.empty());
    EXPECT_TRUE(log_.Text().isEmpty());
    EXPECT_EQ(notice_.calls, (std::vector<bool>{true, false}));
}

TEST_F(KeyFrameQueryTest, TheNoticeIsHiddenWhenTheQueryFails)
{
    ThrowingLog log;
    EXPECT_THROW(QueryKeyFrames(state_, "/v/a.wmv", log, notice_.Notice()), std::runtime_error);
    EXPECT_EQ(notice_.calls, (std::vector<bool>{true, false}));
}

// The real cutter against ffprobe's view of files ffmpeg made.
class KeyFrameQueryEndToEndTest : public ::testing::TestWithParam<std::string> {};

TEST_P(KeyFrameQueryEndToEndTest, KeyFramesAreFfprobesVideoKeyframeTimes)
{
    const fs::path cutter = kestrine::test::BinDir() / "asfbin.exe";
    if (!fs::exists(cutter))
        GTEST_SKIP() << "asfbin.exe has not been built";
    fs::path file;
    if (GetParam() == "shared") {
        file = kestrine::test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
        if (!fs::exists(file))
            GTEST_SKIP() << "no shared sample";
    } else {
        kestrine::test::MediaSpec media;
        media.videoCodec = GetParam();
        media.durationSeconds = 6.0;
        media.gopLength = 17;
        file = kestrine::test::MakeMedia(media);
    }
    const std::vector<double> expected = kestrine::test::ProbeVideoKeyframeTimes(file);
    ASSERT_FALSE(expected.empty());

    EditState state;
    state.EditorDir = kestrine::test::BinDir().string() + "/";
    state.PlayerDuration = kestrine::test::ProbeDurationSeconds(file);
    MemoryLogText log;
    QueryKeyFrames(state, file.string(), log, {});
    ASSERT_EQ(state.KeyFrames.size(), expected.size()) << log.Text().toStdString();
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(state.KeyFrames[i], expected[i], 0.0005) << "keyframe " << i;
}

INSTANTIATE_TEST_SUITE_P(Codecs, KeyFrameQueryEndToEndTest, ::testing::Values("wmv1", "wmv2", "msmpeg4", "shared"));
