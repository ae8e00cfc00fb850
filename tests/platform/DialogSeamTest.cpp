#include "platform/Browser.h"
#include "platform/DialogAnswerer.h"
#include "platform/GuardedApplication.h"
#include "platform/QtDialogs.h"

#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kestrine::platform;

TEST(DialogSeam, AnswererRecordsRequestsAndAnswersInOrder)
{
    InstalledDialogAnswerer dialogs;
    MessageRequest ask;
    ask.text = QStringLiteral("Sure?");
    ask.title = QStringLiteral("Warning");
    ask.buttons = MessageButtons::OkCancel;
    dialogs->AnswerMessage(ModalResult::Ok);
    EXPECT_EQ(ShowMessage(ask), ModalResult::Ok);
    EXPECT_EQ(ShowMessage(ask), ModalResult::Cancel);  // nothing scripted: the close box
    ask.buttons = MessageButtons::Ok;
    EXPECT_EQ(ShowMessage(ask), ModalResult::Ok);
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 3u);
    EXPECT_EQ(dialogs->Calls()[0].message.text, QStringLiteral("Sure?"));

    FileDialogRequest file;
    file.fileName = "Log.txt";
    dialogs->AnswerFile("/x/y");
    EXPECT_EQ(Dialogs().SaveFile(file), std::optional<std::string>("/x/y"));
    EXPECT_EQ(Dialogs().OpenFile(file), std::nullopt);

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Modal"));
    bool seen = false;
    dialogs->AnswerModal(1, [&](QDialog& d) { seen = &d == &dialog; });
    EXPECT_EQ(Dialogs().ShowModal(dialog), 1);
    EXPECT_TRUE(seen);
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Modal)->windowTitle, QStringLiteral("Modal"));
}

TEST(DialogSeam, ScopesNestAndRestore)
{
    DialogAnswerer outer, inner;
    {
        ScopedDialogHandler a(outer);
        {
            ScopedDialogHandler b(inner);
            EXPECT_EQ(&Dialogs(), &inner);
        }
        EXPECT_EQ(&Dialogs(), &outer);
    }
    EXPECT_NE(&Dialogs(), &outer);
}

TEST(DialogSeam, FiltersBecomeQtNameFilters)
{
    EXPECT_EQ(QtNameFilters("ASF files (*.asf; *.wmv)|*.asf;*.wmv|WMA Files (*.wma)|*.wma"),
              (QStringList{"ASF files (*.asf; *.wmv) (*.asf *.wmv)", "WMA Files (*.wma) (*.wma)"}));
    EXPECT_EQ(QtNameFilters("Text files (*.txt)|*.txt|All files (*.*)|*.*"),
              (QStringList{"Text files (*.txt) (*.txt)", "All files (*.*) (*.*)"}));
    EXPECT_TRUE(QtNameFilters("").isEmpty());
    EXPECT_TRUE(QtNameFilters("lonely description").isEmpty());
}

TEST(GuardedDelivery, AnEscapingExceptionBecomesTheStandardErrorBox)
{
    InstalledDialogAnswerer dialogs;
    EXPECT_TRUE(DeliverGuarded([]() -> bool { throw std::runtime_error("Allocator class not set."); }));
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    const auto& box = dialogs->Last(DialogAnswerer::Kind::Message)->message;
    EXPECT_EQ(box.text, QStringLiteral("Allocator class not set."));
    EXPECT_EQ(box.title, QStringLiteral("KESTRINE"));
    EXPECT_EQ(box.icon, MessageIcon::Error);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);

    EXPECT_TRUE(DeliverGuarded([]() -> bool { throw 42; }));
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);
    EXPECT_FALSE(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.isEmpty());

    // Without an exception the delivery's own answer comes back and nothing is shown.
    EXPECT_FALSE(DeliverGuarded([] { return false; }));
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);
}

TEST(Browser, RecorderTakesTheAddressesAndRestoresTheDesktop)
{
    {
        RecordingBrowser browser;
        EXPECT_TRUE(OpenInBrowser("https://example.org/page"));
        ASSERT_EQ(browser.Opened().size(), 1u);
        EXPECT_EQ(browser.Opened()[0], "https://example.org/page");
    }
    // The desktop side refuses what is not a web address, so "open" never starts a program.
    EXPECT_FALSE(OpenInBrowser("file:///bin/sh"));
    EXPECT_FALSE(OpenInBrowser("not a url"));
}
