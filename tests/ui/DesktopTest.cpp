// The editor on the desktop: keyframe ticks and the real start of a cut on the Player's slider, a file
// dropped on the Player pane, full screen on the window's own screen, and the Save dialog's folder.
#include "EditorFixture.h"

#include "core/KeyFrameSearch.h"
#include "core/SliderUnits.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QUrl>

namespace kestrine::test {
namespace {

using core::Edit;
using platform::DialogAnswerer;
namespace fs = std::filesystem;

class DesktopEditor : public EditorTest {};

TEST_F(DesktopEditor, TheSliderShowsTheKeyframesAndWhereTheCutReallyStarts)
{
    const fs::path file = MakeMedia(SmallSource(10));
    OpenThroughDialog(file);
    const std::vector<double> keyFrames = ProbeVideoKeyframeTimes(file);
    ASSERT_GE(keyFrames.size(), 5u);
    const std::vector<int> ticks = form->TrackBar1->TickValues();
    for (double k : keyFrames)
        EXPECT_NE(std::find(ticks.begin(), ticks.end(), core::SecondsToSliderUnits(k)), ticks.end()) << k;

    // Mark IN between the 3rd and 4th keyframe: the selection begins on the 4th, where the cut will.
    form->ToolButton8Click();
    form->ToolButton8Click();
    form->ToolButton8Click();
    form->TrackBar1->setFocus();
    QTest::keyClick(form->TrackBar1, Qt::Key_Right);  // a tenth of a second on
    const double in = PlayerPosition();
    ASSERT_GT(in, keyFrames[2] + 0.05);
    ASSERT_LT(in, keyFrames[3] - 0.05);
    form->ToolButton13Click();
    EXPECT_EQ(form->TrackBar1->SelStart(), core::SecondsToSliderUnits(keyFrames[3]));
    EXPECT_NE(form->ToolButton13->toolTip().indexOf(QStringLiteral("Mark IN: ")), -1);  // the hint keeps its text

    // With CVB the cut starts on the keyframe before IN.
    form->CVB1->trigger();
    EXPECT_EQ(form->TrackBar1->SelStart(), core::SecondsToSliderUnits(keyFrames[2]));
    form->CVB1->trigger();
    EXPECT_EQ(form->TrackBar1->SelStart(), core::SecondsToSliderUnits(keyFrames[3]));

    // And a Record does cut from there, as ffprobe sees the result.
    form->ToolButton16Click();
    Edit.MarkOut = keyFrames[4] + 0.01;
    form->ToolButton24Click();
    ASSERT_EQ(Edit.ResultCounter, 1);
    EXPECT_NEAR(ProbeVideoDurationSeconds(Edit.TempDir + "temp0"), Edit.MarkOut - keyFrames[3], 0.1);
}

TEST_F(DesktopEditor, AMediaFileDroppedOnThePlayerPaneOpensOthersAreRefused)
{
    const fs::path file = MakeMedia(SmallSource(10));
    const fs::path dropped = root / "Dropped Clip.WMV";
    fs::copy_file(file, dropped);
    const fs::path text = root / "notes.txt";
    std::ofstream(text) << "not media";

    auto drag = [&](const std::vector<fs::path>& files, QPoint at) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f.string()));
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &enter);
        return enter.isAccepted();
    };
    const QPoint player = form->VideoWindow1->geometry().center();
    const QPoint recorder = form->VideoWindow2->geometry().center();
    EXPECT_TRUE(drag({dropped}, player));
    EXPECT_FALSE(drag({dropped}, recorder));
    EXPECT_FALSE(drag({text}, player));
    EXPECT_FALSE(drag({dropped, file}, player));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.string()))});
    QDropEvent drop(QPointF(player), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(DispatchUntil([&] { return form->OpenDialog1.FileName == dropped.string(); }, 5000));
    EXPECT_NEAR(Edit.PlayerDuration, 4.0, 0.1);
    EXPECT_FALSE(Edit.KeyFrames.empty());
    EXPECT_TRUE(form->ToolButton24->isEnabled());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::OpenFile), 0u);
}

TEST_F(DesktopEditor, FullScreenFillsTheWindowsScreenAndEscapeBringsItBack)
{
    const fs::path file = MakeMedia(SmallSource(10));
    OpenThroughDialog(file);
    form->VideoWindow1DblClick();
    ASSERT_TRUE(form->VideoWindow1->FullScreen());
    // The renderer's window is the top-level window covering the screen that holds the editor.
    QWidget* picture = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->geometry() == form->window()->screen()->geometry()) picture = w;
    ASSERT_NE(picture, nullptr);

    QTest::keyClick(picture, Qt::Key_Escape);
    EXPECT_FALSE(form->VideoWindow1->FullScreen());
    EXPECT_EQ(QApplication::focusWidget(), form->TrackBar1);

    // Escape with nothing in full screen changes nothing.
    QTest::keyClick(form->TrackBar1, Qt::Key_Escape);
    EXPECT_FALSE(form->VideoWindow1->FullScreen());
}

TEST_F(DesktopEditor, TheSaveDialogStartsInTheSourcesFolder)
{
    const fs::path folder = root / "videos";
    fs::create_directories(folder);
    const fs::path file = folder / "clip.wmv";
    fs::copy_file(MakeMedia(SmallSource(10)), file);
    OpenThroughDialog(file);
    form->ToolButton24Click();
    ASSERT_EQ(Edit.ResultCounter, 1);
    form->SaveDialog1.FileName = (root / "elsewhere" / "last.asf").string();
    dialogs->AnswerFile(std::nullopt);
    form->ToolButton38Click();
    const auto* asked = dialogs->Last(DialogAnswerer::Kind::SaveFile);
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->file.initialDir, folder.string());
    EXPECT_EQ(asked->file.fileName, "last.asf");
}

}  // namespace
}  // namespace kestrine::test
