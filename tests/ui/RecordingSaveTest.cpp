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

// A decoded video frame: its presentation time, whether it is a keyframe, and its checksum.
struct Frame {
    double pts = 0;
    bool key = false;
    std::string sum;
};

// Every video frame in presentation order, as ffmpeg decodes it.
std::vector<Frame> DecodedFrames(const fs::path& file)
{
    const auto sums = kestrine::test::RunProgram(
        "ffmpeg", {"-v", "error", "-i", file.string(), "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "framemd5", "-"});
    const auto times = kestrine::test::RunProgram(
        "ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "frame=key_frame,pts_time", "-of", "csv=p=0", file.string()});
    EXPECT_EQ(sums.exitCode, 0) << sums.err;
    EXPECT_EQ(times.exitCode, 0) << times.err;
    std::vector<Frame> frames;
    std::istringstream timeLines(times.out);
    for (std::string line; std::getline(timeLines, line);) {
        if (line.empty()) continue;
        const auto comma = line.find(',');
        frames.push_back({std::stod(line.substr(comma + 1)), line.substr(0, comma) == "1", {}});
    }
    std::istringstream sumLines(sums.out);
    std::size_t i = 0;
    for (std::string line; std::getline(sumLines, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (i < frames.size()) frames[i].sum = line.substr(line.rfind(',') + 2);
        ++i;
    }
    EXPECT_EQ(i, frames.size());
    return frames;
}

std::vector<std::string> Sums(const std::vector<Frame>& frames)
{
    std::vector<std::string> out;
    for (const Frame& f : frames) out.push_back(f.sum);
    return out;
}

// What a cut of [in, out) holds of the source: the frames from the first keyframe at or after `in`
// up to, not including, out. Adds them to `into` and gives the length of the span cut.
double AppendSpan(const std::vector<Frame>& source, double in, double out, std::vector<std::string>& into)
{
    double start = -1;
    for (const Frame& f : source)
        if (f.key && f.pts >= in - 0.0005) {
            start = f.pts;
            break;
        }
    EXPECT_GE(start, 0) << "no keyframe after " << in;
    std::size_t count = 0;
    for (const Frame& f : source)
        if (f.pts >= start && f.pts < out) {
            into.push_back(f.sum);
            ++count;
        }
    EXPECT_GT(count, 0u);
    return out - start;
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
    const auto sourceFrames = DecodedFrames(source);
    std::vector<std::string> expected;
    double spans = 0;
    for (auto [in, out] : {std::pair{0.4, 1.2}, std::pair{2.0, 2.8}, std::pair{1.0, 1.6}})
        spans += AppendSpan(sourceFrames, in, out, expected);
    EXPECT_EQ(Sums(DecodedFrames(saved)), expected);
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
    EXPECT_EQ(files, (std::vector<bool>{false, true, true}));  // temp0 lives on inside temp2
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
    dialogs->AnswerMessage(kestrine::platform::ModalResult::Yes);  // replace it
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
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);
    EXPECT_TRUE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.contains(QStringLiteral("File too large")));
    EXPECT_EQ(Now(), (Counters{1, "temp1", 1}));
    EXPECT_FALSE(Edit.ResultSaved);
}

TEST_F(RecordingTest, ARealWorldRecordingIsCutJoinedAndSavedFrameForFrame)
{
    const fs::path sample = kestrine::test::SharedMediaDir() / "wmv9-wma2-768x576.wmv";
    if (!fs::exists(sample)) GTEST_SKIP() << "no sample at " << sample;
    Open(sample);
    Record(0.0, 1.5);
    Record(3.2, 4.4);
    ASSERT_EQ(Now(), (Counters{3, "temp3", 3}));
    EXPECT_TRUE(form->FilterGraph2->Active());
    const double shown = Edit.RecorderDuration;

    const fs::path saved = root / "sample-cut.asf";
    dialogs->AnswerFile(saved.string());
    form->ToolButton38Click();
    ASSERT_TRUE(fs::exists(saved));
    const auto sourceFrames = DecodedFrames(sample);
    std::vector<std::string> expected;
    double spans = AppendSpan(sourceFrames, 0.0, 1.5, expected);
    spans += AppendSpan(sourceFrames, 3.2, 4.4, expected);
    EXPECT_EQ(Sums(DecodedFrames(saved)), expected);
    // Its audio objects that start before each OUT mark may reach a little past it.
    const double probed = kestrine::test::ProbeDurationSeconds(saved);
    EXPECT_GE(probed, spans - 0.05);
    EXPECT_LT(probed, spans + 0.5);
    EXPECT_NEAR(probed, shown, 0.05);  // the Recorder showed the same length
}
