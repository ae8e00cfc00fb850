#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>

using kestrine::platform::TerminationSignals;

TEST(TerminationSignals, ArriveOnTheEventLoopAndThePreviousHandlersComeBack)
{
    std::vector<int> received;
    {
        QEventLoop loop;
        TerminationSignals handler([&](int signal) {
            received.push_back(signal);
            if (received.size() == 2) loop.quit();
        });
        ASSERT_TRUE(handler.Installed());
        TerminationSignals second([](int) {});
        EXPECT_FALSE(second.Installed());  // one at a time

        std::raise(SIGTERM);
        std::raise(SIGHUP);
        EXPECT_TRUE(received.empty());  // nothing runs inside the signal handler itself
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGHUP}));

    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}
