#pragma once
// A thread with a Qt event loop of its own, for a device whose Qt objects must live off the GUI
// thread, and a way to run work on it and wait for the work to be done. The hand-over goes through
// a lock of ours, so everything written before Run is seen by the work and everything the work
// writes is seen after Run returns, whatever Qt does inside.
#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace kestrine::platform {

class DeviceThread final : public QObject {
    Q_OBJECT
public:
    explicit DeviceThread(const QString& name);
    // Ends the thread's loop and waits for it; whatever lives on the thread must be gone by then.
    ~DeviceThread() override;
    DeviceThread(const DeviceThread&) = delete;
    DeviceThread& operator=(const DeviceThread&) = delete;

    // Runs work on the thread and waits for it; at once when called on the thread itself. The
    // thread never waits for its callers, so a caller may hold locks of its own.
    void Run(const std::function<void()>& work);
    bool IsCurrent() const;

private:
    Q_INVOKABLE void RunPending();

    std::unique_ptr<QThread> thread_;
    std::mutex callMutex_;  // one caller at a time
    std::mutex mutex_;
    std::condition_variable done_;
    const std::function<void()>* pending_ = nullptr;
    bool finished_ = false;
};

}  // namespace kestrine::platform
