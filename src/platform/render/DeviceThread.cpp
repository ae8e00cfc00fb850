#include "platform/render/DeviceThread.h"

#include <QThread>

namespace kestrine::platform {

DeviceThread::DeviceThread(const QString& name) : thread_(std::make_unique<QThread>())
{
    thread_->setObjectName(name);
    moveToThread(thread_.get());
    thread_->start();
}

DeviceThread::~DeviceThread()
{
    thread_->quit();
    thread_->wait();
}

bool DeviceThread::IsCurrent() const { return QThread::currentThread() == thread_.get(); }

void DeviceThread::Run(const std::function<void()>& work)
{
    if (IsCurrent()) {
        work();
        return;
    }
    std::lock_guard call(callMutex_);
    {
        std::lock_guard lock(mutex_);
        pending_ = &work;
        finished_ = false;
    }
    QMetaObject::invokeMethod(this, "RunPending", Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
}

void DeviceThread::RunPending()
{
    const std::function<void()>* work = nullptr;
    {
        std::lock_guard lock(mutex_);
        work = pending_;
        pending_ = nullptr;
    }
    if (work != nullptr) (*work)();
    // Told with the lock held: the caller cannot wake, return and end this object mid-notify.
    std::lock_guard lock(mutex_);
    finished_ = true;
    done_.notify_all();
}

}  // namespace kestrine::platform
