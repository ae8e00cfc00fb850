#include "platform/graph/MessageWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace kestrine::platform;

namespace {
void PumpFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
}  // namespace

TEST(MessageWindow, PostedMessagesArriveInOrderOnTheWindowsThread)
{
    std::vector<std::pair<UINT, LPARAM>> got;
    bool allOnGui = true;
    const QThread* gui = QThread::currentThread();
    MessageWindow window("EventWindow", "", [&](UINT m, WPARAM, LPARAM l) -> LRESULT {
        got.emplace_back(m, l);
        allOnGui = allOnGui && QThread::currentThread() == gui;
        return 0;
    });
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) EXPECT_TRUE(PostMessage(window.Handle(), WM_APP + 1, 0, i));
    });
    poster.join();
    EXPECT_TRUE(got.empty());  // nothing runs until the event loop does
    PumpFor(50);
    ASSERT_EQ(got.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)].second, i);
    EXPECT_TRUE(allOnGui);
    EXPECT_EQ(SendMessage(window.Handle(), 5, 0, 9), 0);
    EXPECT_EQ(got.back().first, 5u);  // sent messages run at once
}

TEST(MessageWindow, AGoneWindowGetsNothing)
{
    int calls = 0;
    HWND handle = 0;
    {
        MessageWindow window("EventWindow", "", [&](UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
        handle = window.Handle();
        EXPECT_TRUE(IsWindow(handle));
        PostMessage(handle, WM_APP + 1, 0, 0);
    }
    PumpFor(20);
    EXPECT_EQ(calls, 0);  // queued before the window went, dropped with it
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(PostMessage(handle, WM_APP + 1, 0, 0));
    EXPECT_EQ(SendMessage(handle, WM_APP + 1, 0, 0), 0);
    MessageWindow next("EventWindow", "", nullptr);
    EXPECT_NE(next.Handle(), handle);  // handles are not reused
}

TEST(MessageWindow, FindsWindowsByParentClassAndTitle)
{
    MessageWindow owner("TForm1", "Editor", nullptr);
    MessageWindow first("VideoRenderer", "VideoWindow1", nullptr, owner.Handle());
    MessageWindow second("VideoRenderer", "VideoWindow2", nullptr, owner.Handle());
    MessageWindow elsewhere("VideoRenderer", "VideoWindow1", nullptr);

    EXPECT_EQ(FindWindowEx(owner.Handle(), 0, "VideoRenderer", "VideoWindow2"), second.Handle());
    EXPECT_EQ(FindWindowEx(owner.Handle(), 0, "VideoRenderer", "VideoWindow1"), first.Handle());
    EXPECT_EQ(FindWindowEx(0, 0, "VideoRenderer", "VideoWindow1"), elsewhere.Handle());
    EXPECT_EQ(FindWindowEx(owner.Handle(), first.Handle(), "VideoRenderer", nullptr), second.Handle());
    EXPECT_EQ(FindWindowEx(owner.Handle(), second.Handle(), "VideoRenderer", nullptr), 0u);
    EXPECT_EQ(FindWindowEx(owner.Handle(), 0, "Other", nullptr), 0u);

    second.SetTitle("Renamed");
    EXPECT_EQ(FindWindowEx(owner.Handle(), 0, nullptr, "Renamed"), second.Handle());
    EXPECT_EQ(WindowTitle(second.Handle()), "Renamed");
    EXPECT_EQ(WindowClassName(second.Handle()), "VideoRenderer");
    second.SetParent(0);
    EXPECT_EQ(FindWindowEx(owner.Handle(), 0, nullptr, "Renamed"), 0u);
    EXPECT_EQ(WindowWidget(first.Handle()), nullptr);
}
