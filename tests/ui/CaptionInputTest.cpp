#include "CaptionFixture.h"

#include "platform/Browser.h"
#include "ui/Unit1CaptionLayout.h"
#include "ui/Unit1CaptionMaker.h"
#include "ui/Unit1CaptionMove.h"

#include <QMenu>

using kestrine::platform::DialogAnswerer;
using kestrine::platform::ModalResult;
using kestrine::platform::RecordingBrowser;
using kestrine::test::CaptionTest;
using kestrine::ui::RecordingWindowMover;

TEST_F(CaptionTest, HandCursorOnlyOverTheMakerLine)
{
    for (int captionHeight : {24, 18}) {
        SCOPED_TRACE(captionHeight);
        auto form = MakeCaptionedForm(captionHeight);
        const auto b = Bounds(*form);
        auto cursorAt = [&](int x, int y) {
            Mouse(*form, QEvent::MouseMove, x, y, Qt::NoButton);
            return Strip(*form).cursor().shape();
        };
        EXPECT_EQ(cursorAt(b.MidX(), b.MidY()), Qt::PointingHandCursor);
        EXPECT_EQ(cursorAt(b.left, b.MidY()), Qt::ArrowCursor);
        EXPECT_EQ(cursorAt(b.left + 1, b.MidY()), Qt::PointingHandCursor);
        EXPECT_EQ(cursorAt(b.right, b.MidY()), Qt::ArrowCursor);
        EXPECT_EQ(cursorAt(b.MidX(), b.top), Qt::ArrowCursor);
        EXPECT_EQ(cursorAt(b.MidX(), b.bottom - 1), Qt::PointingHandCursor);
        EXPECT_EQ(cursorAt(b.MidX(), b.bottom), Qt::ArrowCursor);
        const auto close = Strip(*form).Parts().CloseBox.center();
        EXPECT_EQ(cursorAt(close.x(), close.y()), Qt::ArrowCursor);
        // Only the editor's own window: another widget never gets the hand.
        QWidget other;
        EXPECT_FALSE(form->wmsetcursor(&other, kestrine::ui::TForm1::MakerLinkHit));
        EXPECT_EQ(other.cursor().shape(), Qt::ArrowCursor);
        height.reset();
    }
}

TEST_F(CaptionTest, PressOnTheMakerLineOpensTheHomePageAndStartsNoMove)
{
    auto form = MakeCaptionedForm(24);
    RecordingBrowser browser;
    RecordingWindowMover mover;
    const auto b = Bounds(*form);
    Mouse(*form, QEvent::MouseButtonPress, b.MidX(), b.MidY());
    Mouse(*form, QEvent::MouseButtonRelease, b.MidX(), b.MidY());
    ASSERT_EQ(browser.Opened().size(), 1u);
    EXPECT_EQ(browser.Opened()[0], kestrine::ui::MakerHomePage);
    EXPECT_TRUE(mover.Moves().empty());
    EXPECT_FALSE(form->CaptionFrame().SystemMenu->isVisible());

    // A right press there is no click on the link.
    Mouse(*form, QEvent::MouseButtonPress, b.MidX(), b.MidY(), Qt::RightButton);
    EXPECT_EQ(browser.Opened().size(), 1u);
    form->CaptionFrame().SystemMenu->hide();
}

TEST_F(CaptionTest, PressElsewhereOnTheCaptionMovesTheWindowThroughTheWindowSystem)
{
    auto form = MakeCaptionedForm(24);
    RecordingBrowser browser;
    RecordingWindowMover mover;
    const auto b = Bounds(*form);
    // Just outside the maker line, and far right on the bar.
    Mouse(*form, QEvent::MouseButtonPress, b.left, b.MidY());
    Mouse(*form, QEvent::MouseButtonRelease, b.left, b.MidY());
    Mouse(*form, QEvent::MouseButtonPress, 500, 12);
    Mouse(*form, QEvent::MouseButtonRelease, 500, 12);
    ASSERT_EQ(mover.Moves().size(), 2u);
    EXPECT_EQ(mover.Moves()[0], &form->CaptionFrame());
    EXPECT_TRUE(browser.Opened().empty());

    // The client area is not the caption: no move from there.
    Mouse(*form, QEvent::MouseButtonPress, 500, 30);
    EXPECT_EQ(mover.Moves().size(), 2u);
}

TEST_F(CaptionTest, WithoutASystemMoveTheCaptionDragsTheWindowItself)
{
    auto form = MakeCaptionedForm(24);
    RecordingWindowMover mover(false);
    auto& frame = form->CaptionFrame();
    const QPoint start = frame.pos();
    Mouse(*form, QEvent::MouseButtonPress, 500, 12);
    ASSERT_EQ(mover.Moves().size(), 1u);
    // Window points are taken before each move, so each step is relative to where the window now is.
    Mouse(*form, QEvent::MouseMove, 530, 32);
    EXPECT_EQ(frame.pos(), start + QPoint(30, 20));
    Mouse(*form, QEvent::MouseButtonRelease, 500, 12);
    Mouse(*form, QEvent::MouseMove, 400, 12, Qt::NoButton);
    EXPECT_EQ(frame.pos(), start + QPoint(30, 20));  // released: the window stays
}

TEST_F(CaptionTest, CloseBoxGoesThroughTheCloseQuestion)
{
    auto form = MakeCaptionedForm(24);
    const QPoint box = Strip(*form).Parts().CloseBox.center();

    // Released away from the box: taken back, nothing asked.
    Mouse(*form, QEvent::MouseButtonPress, box.x(), box.y());
    EXPECT_EQ(Strip(*form).PressedBox(), kestrine::ui::CaptionHit::CloseBox);
    Mouse(*form, QEvent::MouseButtonRelease, 300, 12);
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 0u);
    EXPECT_TRUE(form->CaptionFrame().isVisible());

    dialogs->AnswerMessage(ModalResult::Cancel);
    Mouse(*form, QEvent::MouseButtonPress, box.x(), box.y());
    Mouse(*form, QEvent::MouseButtonRelease, box.x(), box.y());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(form->CaptionFrame().isVisible());
    EXPECT_TRUE(form->isVisible());

    dialogs->AnswerMessage(ModalResult::Ok);
    Mouse(*form, QEvent::MouseButtonPress, box.x(), box.y());
    Mouse(*form, QEvent::MouseButtonRelease, box.x(), box.y());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);
    EXPECT_FALSE(form->CaptionFrame().isVisible());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(CaptionTest, ClosingTheEditorClosesItsWindowAndTheWindowsCloseAsksOnce)
{
    auto form = MakeCaptionedForm(24);
    // The window manager's close request (or the system menu's Close) reaches the question.
    dialogs->AnswerMessage(ModalResult::Cancel);
    EXPECT_FALSE(form->CaptionFrame().close());
    EXPECT_TRUE(form->CaptionFrame().isVisible());
    dialogs->AnswerMessage(ModalResult::Ok);
    EXPECT_TRUE(form->CaptionFrame().close());
    EXPECT_FALSE(form->CaptionFrame().isVisible());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);

    // Shown again and closed from the editor itself: the window goes too, asked once.
    form->show();
    EXPECT_TRUE(form->CaptionFrame().isVisible());
    dialogs->AnswerMessage(ModalResult::Ok);
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->CaptionFrame().isVisible());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 3u);
}

TEST_F(CaptionTest, SystemMenuOffersMinimizeAndClose)
{
    auto form = MakeCaptionedForm(24);
    const QPoint icon = Strip(*form).Parts().SystemMenu.center();
    RecordingWindowMover mover;
    Mouse(*form, QEvent::MouseButtonPress, icon.x(), icon.y());
    QMenu& menu = *form->CaptionFrame().SystemMenu;
    EXPECT_TRUE(menu.isVisible());
    EXPECT_TRUE(mover.Moves().empty());
    EXPECT_TRUE(form->CaptionFrame().MinimizeItem->isEnabled());
    menu.hide();

    dialogs->AnswerMessage(ModalResult::Cancel);
    form->CaptionFrame().CloseItem->trigger();
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_TRUE(form->CaptionFrame().isVisible());

    // A double click on the icon closes, as the platform's does.
    dialogs->AnswerMessage(ModalResult::Ok);
    Mouse(*form, QEvent::MouseButtonDblClick, icon.x(), icon.y());
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 2u);
    EXPECT_FALSE(form->CaptionFrame().isVisible());
}
