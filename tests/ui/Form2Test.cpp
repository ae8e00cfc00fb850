#include "platform/DialogAnswerer.h"
#include "support/TestPaths.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "platform/Browser.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <cstdlib>
#include <QScrollBar>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using kestrine::platform::DialogAnswerer;
using kestrine::platform::InstalledDialogAnswerer;
using kestrine::ui::TForm2;
using kestrine::ui::TLogMemo;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(LogMemo, ChunksJoinAsWrittenAndLinesAreTheWritersOwn)
{
    TLogMemo memo;
    EXPECT_TRUE(memo.Lines().isEmpty());
    memo.AppendText(QStringLiteral("ab"));
    memo.AppendText(QStringLiteral("c\nde"));
    EXPECT_EQ(memo.Lines(), (QStringList{"abc", "de"}));
    memo.AppendLine(QStringLiteral(" "));  // starts on a new line after an unfinished one
    EXPECT_EQ(memo.Lines(), (QStringList{"abc", "de", " "}));
    memo.AppendText(QStringLiteral("next run\n"));
    EXPECT_EQ(memo.Lines(), (QStringList{"abc", "de", " ", "next run"}));
    memo.AppendLine(QStringLiteral(" "));  // after a finished line: no empty line between
    EXPECT_EQ(memo.Lines(), (QStringList{"abc", "de", " ", "next run", " "}));
    EXPECT_EQ(memo.LineCount(), 5);

    // A long line stays one line however narrow the window wraps it.
    memo.resize(120, 100);
    memo.AppendText(QString(500, u'x') + u'\n');
    EXPECT_EQ(memo.Lines().size(), 6);
    EXPECT_EQ(memo.Lines().back().size(), 500);

    memo.Clear();
    EXPECT_TRUE(memo.Lines().isEmpty());
    memo.AppendLine(QStringLiteral(" "));
    EXPECT_EQ(memo.Lines(), QStringList{QStringLiteral(" ")});
}

TEST(LogMemo, CarriageReturnLineFeedIsOneBreakEvenWhenSplitBetweenChunks)
{
    TLogMemo memo;
    memo.AppendText(QStringLiteral("one\r\ntwo\r"));
    memo.AppendText(QStringLiteral("\nthree\rfour\r\n"));
    memo.AppendText(QStringLiteral("\n"));  // a real empty line, not the tail of a pair
    EXPECT_EQ(memo.Lines(), (QStringList{"one", "two", "three", "four", ""}));
}

TEST(LogMemo, ReadOnlyMonospaceAndFollowsTheEnd)
{
    TLogMemo memo;
    EXPECT_TRUE(memo.isReadOnly());
    EXPECT_TRUE(QFontInfo(memo.font()).fixedPitch());
    memo.resize(200, 100);
    memo.show();
    for (int i = 0; i < 200; ++i) memo.AppendText(QStringLiteral("line %1\n").arg(i));
    QApplication::processEvents();  // the display takes in the gathered text on the next turn
    EXPECT_EQ(memo.document()->blockCount(), 201);
    auto* bar = memo.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(0);  // the user reads further up
    memo.AppendText(QStringLiteral("more\n"));
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(memo.toPlainText().count(u'\n'), 201);
}

TEST(LogWindow, LayoutAndClear)
{
    TForm2 log;
    EXPECT_EQ(log.windowTitle(), QStringLiteral("LOG"));
    EXPECT_EQ(log.size(), QSize(370, 225));
    EXPECT_EQ(log.Memo1->geometry(), QRect(0, 0, 369, 188));
    EXPECT_EQ(log.Button1->geometry(), QRect(87, 193, 75, 26));
    EXPECT_EQ(log.Button2->geometry(), QRect(207, 193, 75, 26));
    EXPECT_EQ(log.Button1->text(), QStringLiteral("Clear"));
    EXPECT_EQ(log.Button2->text(), QStringLiteral("Save"));
    // Resized: the text grows with the window; the buttons keep to the bottom, centred as a pair.
    log.show();
    log.resize(470, 325);
    EXPECT_EQ(log.Memo1->geometry(), QRect(0, 0, 469, 288));
    EXPECT_EQ(log.Button1->geometry(), QRect(137, 293, 75, 26));
    EXPECT_EQ(log.Button2->geometry(), QRect(257, 293, 75, 26));

    log.Memo1->AppendText(QStringLiteral("text\n"));
    log.Button1->click();
    EXPECT_TRUE(log.Memo1->Lines().isEmpty());
}

TEST(LogWindow, SaveProposesLogTxtAndAddsTheExtension)
{
    InstalledDialogAnswerer dialogs;
    const fs::path dir = kestrine::test::FreshTestDir();
    TForm2 log;
    log.Memo1->AppendText(QStringLiteral("first\r\nsecond"));
    log.Memo1->AppendLine(QStringLiteral(" "));

    dialogs->AnswerFile((dir / "report").string());
    log.Button2Click();
    const auto* asked = dialogs->Last(DialogAnswerer::Kind::SaveFile);
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->file.fileName, "Log.txt");
    EXPECT_EQ(asked->file.filter, "Text files (*.txt)|*.txt|All files (*.*)|*.*");
    EXPECT_EQ(asked->file.defaultExt, "txt");
    EXPECT_EQ(ReadAll(dir / "report.txt"), "first\nsecond\n \n");
    EXPECT_FALSE(fs::exists(dir / "report"));

    // A name with its own extension is kept, and an existing file is replaced without a question.
    std::ofstream(dir / "old.log") << "previous contents that are longer";
    dialogs->AnswerFile((dir / "old.log").string());
    log.Button2Click();
    EXPECT_EQ(ReadAll(dir / "old.log"), "first\nsecond\n \n");
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 0u);

    // Cancel writes nothing.
    log.Button2Click();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST(LogWindow, SaveThatCannotCreateTheFileSaysSoAndKeepsTheText)
{
    InstalledDialogAnswerer dialogs;
    const fs::path dir = kestrine::test::FreshTestDir();
    TForm2 log;
    log.Memo1->AppendText(QStringLiteral("keep me\n"));
    const std::string target = (dir / "missing-dir" / "log.txt").string();
    dialogs->AnswerFile(target);
    log.Button2Click();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    const auto* box = dialogs->Last(DialogAnswerer::Kind::Message);
    EXPECT_EQ(box->message.text, QStringLiteral("Cannot create file ") + QString::fromStdString(target));
    EXPECT_EQ(box->message.icon, kestrine::platform::MessageIcon::Error);
    EXPECT_EQ(log.Memo1->Lines(), QStringList{QStringLiteral("keep me")});
    EXPECT_FALSE(fs::exists(target));
}

TEST(CutterWarning, LayoutAndLinkOpensTheDownloadPage)
{
    kestrine::platform::RecordingBrowser browser;
    kestrine::ui::TForm3 warning;
    EXPECT_EQ(warning.windowTitle(), QStringLiteral("Warning!"));
    EXPECT_EQ(warning.size(), QSize(365, 211));
    EXPECT_EQ(warning.Label1->text(), QStringLiteral("ASFBIN.EXE is missing!\nDownload Asfbin Command line version\n"
                                                     "and put the exe file to KESTRINE's directory !"));
    // At 38,32 and 284 x 48, widened about its centre only when the face needs more room.
    const QRect label = warning.Label1->geometry();
    EXPECT_EQ(label.top(), 32);
    EXPECT_EQ(label.height(), 48);
    EXPECT_GE(label.width(), 284);
    EXPECT_LE(std::abs(label.center().x() - QRect(38, 32, 284, 48).center().x()), 1);
    const QFontMetrics metrics(warning.Label1->font());
    for (const QString& line : warning.Label1->text().split(u'\n')) EXPECT_LE(metrics.horizontalAdvance(line), label.width());
    EXPECT_EQ(warning.Label2->geometry(), QRect(70, 104, 225, 13));
    EXPECT_TRUE(warning.Label2->font().underline());
    EXPECT_EQ(warning.Button1->geometry(), QRect(145, 152, 75, 25));

    warning.Label2Click();
    ASSERT_EQ(browser.Opened().size(), 1u);
    EXPECT_EQ(browser.Opened()[0], warning.Label2->text().toStdString());

    warning.show();
    warning.Button1->click();
    EXPECT_EQ(warning.result(), QDialog::Accepted);
    EXPECT_FALSE(warning.isVisible());
}
