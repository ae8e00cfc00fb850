// Save copies the current result to the user's file and restarts the chain; a cancelled or failed
// Save changes nothing, and a failed copy leaves the file that was there before alone.
#include "RecordingFixture.h"

#include <csignal>
#include <sstream>
#include <sys/resource.h>

using kestrine::core::Edit;
using kestrine::platform::DialogAnswerer;
using kestrine::test::Counters;
using kestrine::test::RecordingTest;
namespace fs = std::filesystem;

namespace {

// The checksum of every decoded video frame, in presentation order.
std::vector<std::string> VideoFrameSums(const fs::path& file)
{
    const auto r = kestrine::test::RunProgram(
        "ffmpeg", {"-v", "error", "-i", file.string(), "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> sums;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        sums.push_back(line.substr(line.rfind(',') + 2));
    }
    return sums;
}

// The first keyframe at or after `in`: where a cut of the span begins.
double SpanStart(const std::vector<kestrine::test::ProbedPacket>& packets, double in)
{
    for (const auto& p : packets)
        if (p.key && p.ptsSeconds >= in - 0.0005) return p.ptsSeconds;
    return -1;
}

// The source's frames a cut of [in, out) holds: from that keyframe up to, not including, out.
std::vector<std::string> SpanSums(const std::vector<std::string>& sums, const std::vector<kestrine::test::ProbedPacket>& packets,
                                  double in, double out)
{
    const double start = SpanStart(packets, in);
    std::vector<std::string> span;
    for (std::size_t i = 0; i < packets.size() && i < sums.size(); ++i)
        if (packets[i].ptsSeconds >= start && packets[i].ptsSeconds < out) span.push_back(sums[i]);
    return span;
}

std::string Text(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_F(RecordingTest, SaveAfterThreeRecordsWritesTheLastResultAndRestartsTheChain)
{
    Record(0.4, 1.2);
    Record(2.0, 2.8);
    Record(1.0, 1.6);
    ASSERT_EQ(Now(), (Counters{5, "temp5", 5}));
    const auto temp4 = kestrine::test::ReadFileBytes(Temp(4));

    const fs::path target = root / "movie";  // the default extension is added
    dialogs->AnswerFile(target.string());
    calls.clear();
    form->ToolButton38Click();
    EXPECT_TRUE(calls.empty());
    const auto* asked = dialogs->Last(DialogAnswerer::Kind::SaveFile);
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->file.filter, "ASF files (*.asf)|*.asf");
    EXPECT_EQ(asked->file.defaultExt, "asf");

    const fs::path saved = root / "movie.asf";
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(kestrine::test::ReadFileBytes(saved), temp4);
    EXPECT_TRUE(Edit.ResultSaved);
    EXPECT_EQ(Now(), (Counters{0, "temp0", 5}));
    EXPECT_EQ(form->TrackBar2->Position(), 0);
    EXPECT_FALSE(form->TrackBar2->isEnabled());
    EXPECT_FALSE(form->FilterGraph2->Active());
    EXPECT_FALSE(form->ToolButton14->isEnabled());
    EXPECT_FALSE(form->ToolButton38->isEnabled());
    EXPECT_TRUE(form->StatusBar2->SimpleText().isEmpty());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 0u);
    EXPECT_TRUE(fs::exists(Temp(4)));  // the chain's files stay until close

    // The saved movie is the three spans, frame for frame, as an independent decoder sees them.
    const auto sourceSums = VideoFrameSums(source);
    const auto packets = kestrine::test::ProbePackets(source, "v:0");
    std::vector<std::string> expected;
    double spans = 0;
    for (auto [in, out] : {std::pair{0.4, 1.2}, std::pair{2.0, 2.8}, std::pair{1.0, 1.6}}) {
        const auto span = SpanSums(sourceSums, packets, in, out);
        EXPECT_FALSE(span.empty());
        expected.insert(expected.end(), span.begin(), span.end());
        spans += out - SpanStart(packets, in);
    }
    EXPECT_EQ(VideoFrameSums(saved), expected);
    EXPECT_NEAR(kestrine::test::ProbeDurationSeconds(saved), spans, 0.1);
    const auto check = kestrine::test::RunProgram("ffmpeg", {"-v", "error", "-xerror", "-i", saved.string(), "-f", "null", "-"});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.err, "");

    // The next Record starts a new chain at temp0.
    calls.clear();
    Record(0.4, 1.2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{CutLine(source.string(), 0, "-start 0.4 -stop 1.2")}));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 5}));
}

TEST_F(RecordingTest, ACancelledSaveChangesNothing)
{
    Record(0.4, 1.2);
    Record(2.0, 2.8);
    const QString status = form->StatusBar2->SimpleText();
    const auto files = std::vector<bool>{fs::exists(Temp(0)), fs::exists(Temp(1)), fs::exists(Temp(2))};
    dialogs->AnswerFile(std::nullopt);
    form->ToolButton38Click();
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 1u);
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 0u);
    EXPECT_EQ(Now(), (Counters{3, "temp3", 3}));
    EXPECT_FALSE(Edit.ResultSaved);
    EXPECT_TRUE(form->FilterGraph2->Active());
    EXPECT_TRUE(form->ToolButton38->isEnabled());
    EXPECT_TRUE(form->ToolButton32->isChecked());
    EXPECT_EQ(form->StatusBar2->SimpleText(), status);
    EXPECT_EQ(files, (std::vector<bool>{true, true, true}));
}

TEST_F(RecordingTest, AFailedSaveSaysWhyChangesNothingAndCanBeRepeated)
{
    Record(0.4, 1.2);
    const fs::path missingDir = root / "no-such-dir" / "movie.asf";
    dialogs->AnswerFile(missingDir.string());
    form->ToolButton38Click();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    const QString said = dialogs->Last(DialogAnswerer::Kind::Message)->message.text;
    EXPECT_TRUE(said.contains(QString::fromStdString(missingDir.string()))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("No such file or directory"))) << said.toStdString();
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Message)->message.icon, kestrine::platform::MessageIcon::Error);
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_FALSE(Edit.ResultSaved);
    EXPECT_TRUE(form->FilterGraph2->Active());
    EXPECT_TRUE(form->ToolButton38->isEnabled());

    // A folder picked as the file.
    fs::create_directories(root / "folder.asf");
    dialogs->AnswerFile((root / "folder.asf").string());
    form->ToolButton38Click();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);
    EXPECT_TRUE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.contains(QStringLiteral("folder")));
    EXPECT_TRUE(fs::is_directory(root / "folder.asf"));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));

    // The current result gone from the temporary folder.
    const auto temp0 = kestrine::test::ReadFileBytes(Temp(0));
    fs::rename(Temp(0), root / "aside");
    dialogs->AnswerFile((root / "movie.asf").string());
    form->ToolButton38Click();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 3u);
    EXPECT_TRUE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.contains(QStringLiteral("temp0")));
    EXPECT_FALSE(fs::exists(root / "movie.asf"));
    fs::rename(root / "aside", Temp(0));

    // And once the way is clear, Save works.
    dialogs->AnswerFile((root / "movie.asf").string());
    form->ToolButton38Click();
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 3u);
    EXPECT_EQ(kestrine::test::ReadFileBytes(root / "movie.asf"), temp0);
    EXPECT_TRUE(Edit.ResultSaved);
    EXPECT_EQ(Now(), (Counters{0, "temp0", 1}));
}

TEST_F(RecordingTest, ACopyThatFailsPartWayLeavesTheFileThatWasThereUntouched)
{
    Record(0.4, 2.4);
    const fs::path target = root / "precious.asf";
    std::ofstream(target) << "the user's earlier movie";
    ASSERT_GT(fs::file_size(Temp(0)), 4096u);

    // A file size limit makes the copy's writes fail after the first few kilobytes.
    dialogs->AnswerFile(target.string());
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    form->ToolButton38Click();
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(Text(target), "the user's earlier movie");
    for (const auto& entry : fs::directory_iterator(root))
        EXPECT_EQ(entry.path().filename().string().find("precious.asf."), std::string::npos) << entry.path();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.contains(QStringLiteral("File too large")));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_FALSE(Edit.ResultSaved);
}
