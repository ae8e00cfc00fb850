// Sources that are broken or named to trick a shell: each gives a clear message or works, never
// crashes, runs nothing but the cutter, and loses nothing of the result already recorded.
#include "EditorFixture.h"

#include "core/ResultChain.h"

#include "media/MediaErrors.h"

#include <fstream>

namespace kestrine::test {
namespace {

using core::Edit;
using platform::DialogAnswerer;
namespace fs = std::filesystem;

MediaSpec Source()
{
    MediaSpec spec;
    spec.width = 160;
    spec.height = 120;
    spec.gopLength = 5;
    return spec;
}

class HostileSourceTest : public EditorTest {
protected:
    // Opens a good source and records a span of it, so there is a result to lose.
    void RecordSomething()
    {
        good = MakeMedia(Source());
        OpenThroughDialog(good);
        Edit.MarkIn = 0.4;
        Edit.MarkOut = 1.2;
        form->ToolButton24Click();
        ASSERT_EQ(Edit.ResultCounter, 1);
        recorded = core::CurrentResultPath(Edit);
        recordedBytes = ReadFileBytes(recorded);
        recordedDuration = Edit.RecorderDuration;
        ASSERT_FALSE(recordedBytes.empty());
    }

    // The result chain is as RecordSomething left it.
    void ExpectResultKept()
    {
        EXPECT_EQ(Edit.ResultCounter, 1);
        EXPECT_EQ(core::CurrentResultPath(Edit), recorded);
        EXPECT_EQ(ReadFileBytes(recorded), recordedBytes);
        EXPECT_DOUBLE_EQ(Edit.RecorderDuration, recordedDuration);
        EXPECT_TRUE(form->ToolButton38->isEnabled());
    }

    // Open of a file the graph must refuse: an error naming why, and the earlier Open's state kept.
    void ExpectRefusedOpen(const fs::path& file)
    {
        const std::string before = form->OpenDialog1.FileName;
        const double duration = Edit.PlayerDuration;
        const auto keyFrames = Edit.KeyFrames;
        const QStringList log = logWindow->Memo1->Lines();
        const std::size_t lines = cutterLines.size();
        try {
            OpenThroughDialog(file);
            ADD_FAILURE() << "Open accepted " << file;
        } catch (const media::EDirectShowException& e) {
            EXPECT_GT(std::string(e.what()).size(), 10u) << e.what();
            EXPECT_TRUE(platform::FAILED(e.ResultCode));
        }
        EXPECT_EQ(form->OpenDialog1.FileName, before);
        EXPECT_EQ(Edit.PlayerDuration, duration);
        EXPECT_EQ(Edit.KeyFrames, keyFrames);
        EXPECT_EQ(logWindow->Memo1->Lines(), log);
        EXPECT_EQ(cutterLines.size(), lines);  // no keyframe query for a file that did not open
        EXPECT_TRUE(form->ToolButton5->isEnabled());
    }

    fs::path good;
    std::string recorded;
    std::vector<std::uint8_t> recordedBytes;
    double recordedDuration = 0;
};

TEST_F(HostileSourceTest, FilesThatAreNotWholeAsfAreRefusedAndTheResultIsKept)
{
    RecordSomething();

    const fs::path text = root / "letter.wmv";
    std::ofstream(text) << "Dear reader, this is not a media file.\n";
    ExpectRefusedOpen(text);

    const fs::path empty = root / "empty.wmv";
    std::ofstream{empty};
    ExpectRefusedOpen(empty);

    // Only the header survives: nothing to play.
    const fs::path headerOnly = root / "header-only.wmv";
    {
        std::vector<std::uint8_t> bytes = ReadFileBytes(good);
        bytes.resize(600);
        WriteFileBytes(headerOnly, bytes);
    }
    ExpectRefusedOpen(headerOnly);
    ExpectResultKept();

    // The Player still works on what it had: a new Open of the good file, and a Record from it.
    OpenThroughDialog(good);
    Edit.MarkIn = 2.0;
    Edit.MarkOut = 2.8;
    form->ToolButton24Click();
    EXPECT_EQ(Edit.ResultCounter, 3);
    EXPECT_NEAR(Edit.RecorderDuration, recordedDuration + 0.8, 0.1);
}

TEST_F(HostileSourceTest, ATruncatedSourceOpensWhatItHolds)
{
    RecordSomething();
    const fs::path half = root / "half.wmv";
    std::vector<std::uint8_t> bytes = ReadFileBytes(good);
    bytes.resize(bytes.size() / 2 + 17);  // ends inside a packet
    WriteFileBytes(half, bytes);

    OpenThroughDialog(half);
    EXPECT_EQ(form->OpenDialog1.FileName, half.string());
    EXPECT_GT(Edit.PlayerDuration, 0.0);
    // A span from the part that is there records; the chain grows by it.
    Edit.MarkIn = 0.2;
    Edit.MarkOut = 1.0;
    form->ToolButton24Click();
    EXPECT_EQ(Edit.ResultCounter, 3);
    EXPECT_NEAR(Edit.RecorderDuration, recordedDuration + 0.8, 0.1);
}

TEST_F(HostileSourceTest, ASourceDeletedAfterOpenFailsRecordWithAMessageAndKeepsTheResult)
{
    RecordSomething();
    const fs::path doomed = root / "doomed.wmv";
    fs::copy_file(good, doomed);
    OpenThroughDialog(doomed);
    fs::remove(doomed);
    dialogs->ClearCalls();

    Edit.MarkIn = 1.0;
    Edit.MarkOut = 2.0;
    ASSERT_TRUE(logWindow->isHidden());
    form->ToolButton24Click();
    // The cutter's message is put before the user: the LOG comes up, naming the missing file.
    EXPECT_TRUE(logWindow->isVisible());
    EXPECT_TRUE(form->sp1->isChecked());
    EXPECT_TRUE(logWindow->Memo1->Lines().join('\n').contains(QString::fromStdString(doomed.string())));
    ExpectResultKept();
}

TEST_F(HostileSourceTest, NamesThatWouldTrickAShellAreOpenedAndCutAsTheyAre)
{
    const fs::path plain = MakeMedia(Source());
    const fs::path dir = root / "odd dir";
    fs::create_directories(dir);
    const std::vector<std::string> names = {
        "two  blanks.wmv", "say \"hello\".wmv", "it's.wmv", "$(touch PWNED).wmv", "`touch PWNED`.wmv",
        "line\nbreak.wmv", "-o.wmv", "semi;colon&amp|pipe>.wmv", std::string("caf\xe9-latin1.wmv"),
    };
    int records = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const fs::path file = dir / name;
        fs::copy_file(plain, file);
        cutterLines.clear();
        OpenThroughDialog(file);
        ASSERT_EQ(form->OpenDialog1.FileName, file.string());
        EXPECT_NEAR(Edit.PlayerDuration, 4.0, 0.1);
        EXPECT_FALSE(Edit.KeyFrames.empty());  // the keyframe report read this very file
        Edit.MarkIn = 0.4;
        Edit.MarkOut = 1.2;
        form->ToolButton24Click();
        ++records;
        EXPECT_NEAR(Edit.RecorderDuration, 0.8 * records, 0.1 * records);
        fs::remove(file);
    }
    // No shell ever saw a name: nothing was run but the cutter.
    EXPECT_FALSE(fs::exists(dir / "PWNED"));
    EXPECT_FALSE(fs::exists("PWNED"));
    EXPECT_FALSE(fs::exists(fs::path(BinDir()) / "PWNED"));
}

}  // namespace
}  // namespace kestrine::test
