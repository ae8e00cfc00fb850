#pragma once
// Letting the event loop run in tests that wait for a graph, a timer or a picture.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace kestrine::test {

// Runs the event loop until `done` holds; false once `milliseconds` have passed without it.
template <class Condition>
bool DispatchUntil(Condition done, int milliseconds = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace kestrine::test
