// The whole job as a user does it: two sources, three spans recorded, the last undone, another
// recorded, the result saved and the editor closed. The saved file is then judged by ffmpeg alone.
#include "EditorFixture.h"

#include <QStringList>

#include <sstream>

namespace kestrine::test {
namespace {

using core::Edit;
namespace fs = std::filesystem;

struct DecodedFrame {
    double seconds = 0;
    std::string hash;
};

// ffmpeg's decode of the first video stream: each picture's time in the file (not moved to start at
// 0) and its checksum, in order.
std::vector<DecodedFrame> DecodedVideo(const fs::path& file)
{
    const ProgramResult r =
        RunProgram("ffmpeg", {"-v", "error", "-copyts", "-i", file.string(), "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<DecodedFrame> frames;
    std::istringstream lines(r.out);
    std::string line;
    double timeBase = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("#tb 0:", 0) == 0) {
            const auto slash = line.find('/');
            timeBase = std::stod(line.substr(6, slash - 6)) / std::stod(line.substr(slash + 1));
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        // stream, dts, pts, duration, size, hash
        QStringList fields = QString::fromStdString(line).split(',', Qt::SkipEmptyParts);
        if (fields.size() < 6) continue;
        frames.push_back({fields[2].trimmed().toDouble() * timeBase, fields[5].trimmed().toStdString()});
    }
    return frames;
}

struct Span {
    fs::path source;
    double in;
    double out;
};

class AcceptanceTest : public EditorTest {
protected:
    // Steps keyframe by keyframe: `skip` steps before IN, `length` more before OUT.
    Span MarkAndRecord(const fs::path& source, int skip, int length)
    {
        for (int i = 0; i < skip; ++i) form->ToolButton8Click();
        form->ToolButton13Click();
        const double in = Edit.PlayerPos;
        for (int i = 0; i < length; ++i) form->ToolButton8Click();
        form->ToolButton16Click();
        const double out = Edit.PlayerPos;
        form->ToolButton24Click();
        return {source, in, out};
    }
};

TEST_F(AcceptanceTest, TwoSourcesThreeSpansAnUndoAndASaveGiveExactlyThoseFrames)
{
    MediaSpec first;
    first.gopLength = 10;  // a keyframe every 0.4 s
    first.durationSeconds = 6.0;
    MediaSpec second = first;
    second.durationSeconds = 5.0;
    // Another recording made the same way (the same codec set-up, so the two can be joined), of
    // another length.
    const fs::path a = MakeMedia(first);
    const fs::path b = MakeMedia(second);

    std::vector<Span> kept;
    OpenThroughDialog(a);
    form->ToolButton5Click();  // a moment of play, as a user would look before cutting
    Settle(400);
    form->ToolButton7Click();
    form->TrackBar1->SetPosition(0);
    kept.push_back(MarkAndRecord(a, 1, 3));

    OpenThroughDialog(b);
    kept.push_back(MarkAndRecord(b, 2, 4));

    OpenThroughDialog(a);
    form->TrackBar1->SetPosition(30);  // from the middle on
    MarkAndRecord(a, 1, 2);
    form->ToolButton14Click();  // that one was a mistake

    OpenThroughDialog(b);
    form->TrackBar1->SetPosition(20);
    kept.push_back(MarkAndRecord(b, 1, 5));
    ASSERT_EQ(Edit.ResultCounter, 5);  // the undone span's cut and join were made again by the last Record

    const fs::path saved = root / "the result.wmv";
    dialogs->AnswerFile(saved.string());
    form->ToolButton38Click();
    ASSERT_TRUE(fs::exists(saved));
    const fs::path runDir = Edit.TempDir;

    bool canClose = false;
    form->FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    form->FormClose();
    logWindow.reset();
    form.reset();
    EXPECT_FALSE(fs::exists(runDir)) << "the run's result files are left behind";

    // ffmpeg decodes it without a word.
    const ProgramResult decode = RunProgram("ffmpeg", {"-v", "error", "-xerror", "-i", saved.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");

    // Its length is the spans' lengths, within a frame each.
    double total = 0;
    for (const Span& s : kept) total += s.out - s.in;
    EXPECT_NEAR(ProbeVideoDurationSeconds(saved), total, 0.04 * double(kept.size()) + 0.001);

    // Its pictures are the spans' pictures, in order, each one exact.
    std::vector<std::string> expected;
    for (const Span& s : kept) {
        for (const DecodedFrame& f : DecodedVideo(s.source))
            // The decoder gives times on the frame grid; half a frame tells the pictures apart.
            if (f.seconds >= s.in - 0.02 && f.seconds < s.out - 0.02) expected.push_back(f.hash);
    }
    std::vector<std::string> got;
    for (const DecodedFrame& f : DecodedVideo(saved)) got.push_back(f.hash);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(got.size(), expected.size());
    const auto differ = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    EXPECT_TRUE(differ.first == got.end() && differ.second == expected.end())
        << "the saved pictures differ from the spans' pictures from picture " << (differ.first - got.begin()) << " on";
}

}  // namespace
}  // namespace kestrine::test
