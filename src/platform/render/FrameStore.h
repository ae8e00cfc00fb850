#pragma once
// The latest decoded picture, handed from the streaming thread to the window that paints it.
// The streaming thread never touches a widget: it stores the picture here, and the window's own
// timer on the GUI thread sees the new generation and repaints.
#include <QImage>

#include <cstdint>
#include <mutex>

namespace kestrine::platform {

class FrameStore {
public:
    void Store(QImage image)
    {
        std::lock_guard lock(mutex_);
        image_ = std::move(image);
        ++generation_;
    }
    QImage Image() const
    {
        std::lock_guard lock(mutex_);
        return image_;
    }
    std::uint64_t Generation() const
    {
        std::lock_guard lock(mutex_);
        return generation_;
    }

private:
    mutable std::mutex mutex_;
    QImage image_;
    std::uint64_t generation_ = 0;
};

}  // namespace kestrine::platform
