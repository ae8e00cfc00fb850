#include "platform/DialogAnswerer.h"
#include "support/TestPaths.h"
#include "ui/FileDialogs.h"

#include <fstream>
#include <gtest/gtest.h>

using kestrine::platform::DialogAnswerer;
using kestrine::platform::InstalledDialogAnswerer;
using kestrine::ui::TOpenDialog;
using kestrine::ui::TSaveDialog;

TEST(FileDialogs, DefaultExtensionGoesOnlyOnNamesWithoutOne)
{
    TSaveDialog d;
    d.DefaultExt = "txt";
    EXPECT_EQ(d.WithDefaultExt("/home/u/Log"), "/home/u/Log.txt");
    EXPECT_EQ(d.WithDefaultExt("/home/u/Log.txt"), "/home/u/Log.txt");
    EXPECT_EQ(d.WithDefaultExt("/home/u/notes.md"), "/home/u/notes.md");
    EXPECT_EQ(d.WithDefaultExt("/home/u.v/Log"), "/home/u.v/Log.txt");  // a dot in a folder is no extension
    EXPECT_EQ(d.WithDefaultExt("/home/u/.hidden"), "/home/u/.hidden.txt");
    EXPECT_EQ(d.WithDefaultExt("/home/u/Log."), "/home/u/Log.txt");
    d.DefaultExt.clear();
    EXPECT_EQ(d.WithDefaultExt("/home/u/Log"), "/home/u/Log");
}

TEST(FileDialogs, ExecuteAsksThroughTheSeamAndKeepsTheChoice)
{
    InstalledDialogAnswerer dialogs;
    TSaveDialog save;
    save.Filter = "ASF files (*.asf)|*.asf";
    save.DefaultExt = "asf";
    dialogs->AnswerFile(std::nullopt);
    EXPECT_FALSE(save.Execute());
    EXPECT_TRUE(save.FileName.empty());
    dialogs->AnswerFile("/videos/best");
    EXPECT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, "/videos/best.asf");
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::SaveFile), 2u);
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::SaveFile)->file.filter, "ASF files (*.asf)|*.asf");

    // Opening an existing file takes it as it is, even without an extension.
    const auto dir = kestrine::test::FreshTestDir();
    std::ofstream(dir / "clip") << "x";
    TOpenDialog open;
    open.DefaultExt = "asf";
    dialogs->AnswerFile((dir / "clip").string());
    EXPECT_TRUE(open.Execute());
    EXPECT_EQ(open.FileName, (dir / "clip").string());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::OpenFile), 1u);
}
