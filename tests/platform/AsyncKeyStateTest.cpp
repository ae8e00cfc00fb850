#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/AsyncKeyState.h"

using kestrine::platform::AsyncKeyState;

namespace {

void Send(QObject* target, QEvent::Type type, int key, bool autoRepeat = false)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QCoreApplication::sendEvent(target, &event);
}

class AsyncKeyStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        keys_ = AsyncKeyState::ForApplication();
        ASSERT_NE(keys_, nullptr);
        keys_->ForgetHeldKeys();
        keys_->Query(Qt::Key_Escape);
        keys_->Query(Qt::Key_A);
    }
    AsyncKeyState* keys_ = nullptr;
    QObject target_;
};

}  // namespace

TEST_F(AsyncKeyStateTest, OneTrackerPerApplication)
{
    EXPECT_EQ(AsyncKeyState::ForApplication(), keys_);
    EXPECT_EQ(keys_->parent(), QCoreApplication::instance());
}

TEST_F(AsyncKeyStateTest, HeldKeyIsDownAndItsPressIsReportedOnce)
{
    Send(&target_, QEvent::KeyPress, Qt::Key_Escape);
    auto first = keys_->Query(Qt::Key_Escape);
    EXPECT_TRUE(first.Down);
    EXPECT_TRUE(first.PressedSinceLastQuery);
    auto second = keys_->Query(Qt::Key_Escape);
    EXPECT_TRUE(second.Down);
    EXPECT_FALSE(second.PressedSinceLastQuery);

    // Auto-repeat releases do not lift the key.
    Send(&target_, QEvent::KeyRelease, Qt::Key_Escape, true);
    EXPECT_TRUE(keys_->Query(Qt::Key_Escape).Down);
    Send(&target_, QEvent::KeyRelease, Qt::Key_Escape);
    EXPECT_FALSE(keys_->Query(Qt::Key_Escape).Any());
}

TEST_F(AsyncKeyStateTest, APressAndReleaseBetweenQueriesIsStillSeen)
{
    QWidget window;  // key events to any object of the application count
    Send(&window, QEvent::KeyPress, Qt::Key_Escape);
    Send(&window, QEvent::KeyRelease, Qt::Key_Escape);
    const auto state = keys_->Query(Qt::Key_Escape);
    EXPECT_FALSE(state.Down);
    EXPECT_TRUE(state.PressedSinceLastQuery);
    EXPECT_TRUE(state.Any());
    EXPECT_FALSE(keys_->Query(Qt::Key_Escape).Any());
}

TEST_F(AsyncKeyStateTest, AKeyTakenByAShortcutStillCounts)
{
    Send(&target_, QEvent::ShortcutOverride, Qt::Key_Escape);
    EXPECT_TRUE(keys_->Query(Qt::Key_Escape).PressedSinceLastQuery);
    Send(&target_, QEvent::KeyRelease, Qt::Key_Escape);
    EXPECT_FALSE(keys_->Query(Qt::Key_Escape).Any());
}

TEST_F(AsyncKeyStateTest, KeysAreTrackedApartAndPostedEventsCountWhenDelivered)
{
    QCoreApplication::postEvent(&target_, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
    EXPECT_FALSE(keys_->Query(Qt::Key_A).Any());
    QCoreApplication::processEvents();
    EXPECT_TRUE(keys_->Query(Qt::Key_A).Down);
    EXPECT_FALSE(keys_->Query(Qt::Key_Escape).Any());
}

TEST_F(AsyncKeyStateTest, LosingTheKeyboardForgetsHeldKeys)
{
    Send(&target_, QEvent::KeyPress, Qt::Key_Escape);
    keys_->Query(Qt::Key_Escape);
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &deactivate);
    EXPECT_FALSE(keys_->Query(Qt::Key_Escape).Any());
}
