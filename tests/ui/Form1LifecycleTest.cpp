#include "FormFixture.h"

#include "platform/DialogAnswerer.h"
#include "platform/com/ComRuntime.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"

#include <QCursor>
#include <QDialog>
#include <QLocale>
#include <QLabel>
#include <QPushButton>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using kestrine::core::Edit;
using kestrine::platform::DialogAnswerer;
using kestrine::platform::ModalResult;
using kestrine::test::FormTest;
namespace fs = std::filesystem;

namespace {

constexpr const char* kCloseQuestion = "Are You Sure? Do not forget to save your movie!";

void Touch(const std::string& path) { std::ofstream(path) << "result"; }

}  // namespace

TEST_F(FormTest, CreationFindsTheDirectoriesAndMakesAPrivateRunDirectory)
{
    auto form = MakeForm();
    EXPECT_EQ(Edit.EditorDir, (root / "bin").string() + "/");
    const std::string tmp = (root / "tmp").string() + "/";
    ASSERT_EQ(Edit.TempDir.compare(0, tmp.size(), tmp), 0) << Edit.TempDir;
    ASSERT_EQ(Edit.TempDir.back(), '/');
    struct stat st {};
    ASSERT_EQ(::stat(Edit.TempDir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(dialogs->Calls().size(), 0u);  // the cutter is there: no warning

    // A second editor gets a directory of its own.
    const std::string first = Edit.TempDir;
    auto second = MakeForm();
    EXPECT_NE(Edit.TempDir, first);

    char text[32];
    std::snprintf(text, sizeof text, "%.1f", 2.5);
    EXPECT_STREQ(text, "2.5");
    EXPECT_EQ(QLocale().toString(2.5), QStringLiteral("2.5"));
}

TEST_F(FormTest, RunDirectoryFallsBackToTheUserCache)
{
    // A temporary path that cannot hold the directory (it does not exist).
    auto environment = Environment(true);
    environment.SystemTempPath = (root / "no-such-dir").string() + "/";
    kestrine::ui::TForm1 form(environment);
    const std::string cache = (root / "cache" / "kestrine").string() + "/";
    EXPECT_EQ(Edit.TempDir.compare(0, cache.size(), cache), 0) << Edit.TempDir;
    EXPECT_TRUE(fs::is_directory(Edit.TempDir));
    EXPECT_EQ(fs::status(root / "cache" / "kestrine").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(dialogs->Calls().size(), 0u);
}

TEST_F(FormTest, NoPrivateDirectoryAnywhereIsSaidAtOnce)
{
    auto environment = Environment(true);
    environment.SystemTempPath = (root / "no-such-dir").string() + "/";
    environment.UserCacheDir.clear();
    kestrine::ui::TForm1 form(environment);
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.contains(QStringLiteral("Recording will not work")));
    EXPECT_EQ(Edit.TempDir, "/dev/null/kestrine/");  // results have nowhere to land rather than a shared place
    EXPECT_FALSE(fs::exists(Edit.TempDir));
}

TEST_F(FormTest, MissingCutterWarningComesOnceBeforeTheMainWindow)
{
    bool mainVisibleDuringWarning = true;
    QString firstLine, link, button;
    kestrine::ui::TForm1* creating = nullptr;
    dialogs->AnswerModal(1, [&](QDialog& dialog) {
        auto& warning = dynamic_cast<kestrine::ui::TForm3&>(dialog);
        firstLine = warning.Label1->text().section(u'\n', 0, 0);
        link = warning.Label2->text();
        button = warning.Button1->text();
        mainVisibleDuringWarning = creating != nullptr && creating->isVisible();
    });
    auto form = MakeForm(false);
    creating = form.get();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Modal), 1u);
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Modal)->windowTitle, QStringLiteral("Warning!"));
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Modal)->windowClass, QStringLiteral("kestrine::ui::TForm3"));
    EXPECT_FALSE(mainVisibleDuringWarning);
    EXPECT_EQ(firstLine, QStringLiteral("ASFBIN.EXE is missing!"));
    EXPECT_EQ(link, QStringLiteral("https://kestrine.org/asfbin/"));
    EXPECT_EQ(button, QStringLiteral("OK"));

    // The editor goes on: it shows, and nothing more is asked.
    form->show();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->ToolButton17->isEnabled());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Modal), 1u);
}

TEST_F(FormTest, CloseAsksUntilTheFirstSaveAndWhileAnUnsavedResultIsShown)
{
    auto form = MakeForm();
    form->show();

    // Nothing recorded yet: asked; Cancel keeps the editor open.
    dialogs->AnswerMessage(ModalResult::Cancel);
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    const auto* asked = dialogs->Last(DialogAnswerer::Kind::Message);
    EXPECT_EQ(asked->message.text, QString::fromLatin1(kCloseQuestion));
    EXPECT_EQ(asked->message.title, QStringLiteral("Warning"));
    EXPECT_EQ(asked->message.buttons, kestrine::platform::MessageButtons::OkCancel);

    // After a Save with the Recorder emptied: not asked.
    Edit.ResultSaved = true;
    Edit.ResultCounter = 0;
    bool canClose = false;
    form->FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);

    // Recorded again after that Save: the new result would be lost, so it asks again.
    Edit.ResultCounter = 1;
    dialogs->AnswerMessage(ModalResult::Cancel);
    form->FormCloseQuery(canClose);
    EXPECT_FALSE(canClose);
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);

    // OK lets the close go ahead.
    dialogs->AnswerMessage(ModalResult::Ok);
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(FormTest, CloseDeletesEveryResultUpToTheHighestAndThePrivateDirectory)
{
    auto form = MakeForm();
    const std::string dir = Edit.TempDir;
    Edit.HighestResult = 5;
    Edit.ResultCounter = 3;  // an Undo left temp3..temp5 behind: they go too
    Edit.KeyFrames = {1.0, 2.0};
    for (int n : {0, 1, 2, 4, 5}) Touch(dir + "temp" + std::to_string(n));  // temp3 missing: passed over
    Touch(dir + "temp5.partial");
    // Beside the private directory, files of the same names that are not ours stay untouched.
    const std::string outside = (root / "tmp" / "temp0").string();
    Touch(outside);

    dialogs->AnswerMessage(ModalResult::Ok);
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(Edit.KeyFrames.empty());
    for (int n = 0; n <= 5; ++n) EXPECT_FALSE(fs::exists(dir + "temp" + std::to_string(n))) << n;
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_TRUE(fs::exists(outside));
}

TEST_F(FormTest, CloseKeepsWhatTheUserSavedInsideTheRunDirectory)
{
    auto form = MakeForm();
    const std::string dir = Edit.TempDir;
    Touch(dir + "temp0");
    Touch(dir + "movie.asf");
    Edit.ResultSaved = true;
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(fs::exists(dir + "temp0"));
    EXPECT_TRUE(fs::exists(dir + "movie.asf"));
}

TEST_F(FormTest, LogWindowButtonShowsAndHidesAndTheCloseBoxRaisesIt)
{
    auto form = MakeForm();
    auto* log = new kestrine::ui::TForm2(form.get());
    form->AttachLogWindow(*log);
    form->show();
    EXPECT_FALSE(log->isVisible());

    form->sp1->click();
    EXPECT_TRUE(form->sp1->isChecked());
    EXPECT_TRUE(log->isVisible());
    form->sp1->click();
    EXPECT_FALSE(form->sp1->isChecked());
    EXPECT_FALSE(log->isVisible());

    form->sp1->click();
    log->Memo1->AppendLine(QStringLiteral("kept"));
    EXPECT_TRUE(log->close() == false || !log->isVisible());
    EXPECT_FALSE(log->isVisible());
    EXPECT_FALSE(form->sp1->isChecked());
    EXPECT_EQ(log->Memo1->Lines(), QStringList{QStringLiteral("kept")});  // hiding keeps the text

    // One press shows it again.
    form->sp1->click();
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(&form->Log(), static_cast<kestrine::core::LogText*>(log->Memo1));
}

TEST_F(FormTest, OptionItemsToggleOnEveryChoice)
{
    auto form = MakeForm();
    struct Item {
        QAction* action;
        void (kestrine::ui::TForm1::*handler)();
        bool start;
    };
    const Item items[] = {{form->CVB1, &kestrine::ui::TForm1::CVB1Click, false},
                          {form->Noindex1, &kestrine::ui::TForm1::Noindex1Click, false},
                          {form->GetKf1, &kestrine::ui::TForm1::GetKf1Click, true},
                          {form->Cont1, &kestrine::ui::TForm1::Cont1Click, false}};
    for (const Item& item : items) {
        SCOPED_TRACE(item.action->objectName().toStdString());
        EXPECT_EQ(item.action->isChecked(), item.start);
        item.action->trigger();  // chosen from the menu
        EXPECT_EQ(item.action->isChecked(), !item.start);
        item.action->trigger();
        EXPECT_EQ(item.action->isChecked(), item.start);
        (form.get()->*item.handler)();
        EXPECT_EQ(item.action->isChecked(), !item.start);
    }
}

TEST_F(FormTest, ActivationMeasuresTheCaptionPrefix)
{
    auto form = MakeForm();
    EXPECT_EQ(form->CaptionPrefixWidth, 0);
    form->FormActivate();
    EXPECT_GT(form->CaptionPrefixWidth, 0);
}

TEST_F(FormTest, OptionsButtonPopsTheMenuUpAtTheMouse)
{
    auto form = MakeForm();
    form->show();
    QCursor::setPos(QPoint(300, 200));
    form->Button1->click();
    EXPECT_TRUE(form->PopupMenu1->isVisible());
    EXPECT_EQ(form->PopupMenu1->pos(), QCursor::pos());
    form->PopupMenu1->hide();
    EXPECT_EQ(dialogs->Calls().size(), 0u);  // a popup, not a modal dialog
}

TEST_F(FormTest, CloseEmptiesAndDeactivatesBothGraphsBeforeTheFilesGo)
{
    ASSERT_TRUE(kestrine::platform::SUCCEEDED(kestrine::platform::CoInitialize(nullptr)));
    {
        auto form = MakeForm();
        EXPECT_EQ(form->FilterGraph1->objectName(), QStringLiteral("FilterGraph1"));
        EXPECT_FALSE(form->FilterGraph1->GraphEdit());
        EXPECT_FALSE(form->FilterGraph2->GraphEdit());
        form->FilterGraph1->SetActive(true);
        form->FilterGraph2->SetActive(true);
        ASSERT_TRUE(form->FilterGraph1->Active());
        Edit.ResultSaved = true;
        form->show();
        EXPECT_TRUE(form->close());
        EXPECT_FALSE(form->FilterGraph1->Active());
        EXPECT_FALSE(form->FilterGraph2->Active());
    }
    kestrine::platform::CoUninitialize();
}
