#pragma once
// The latest decoded picture, handed from the streaming thread to the window that paints it.
// The streaming thread never touches a widget: it stores the picture here, and the window's own
// timer on the GUI thread sees the new generation and repaints. Once the window has said the size
// it paints at, each picture is also scaled to that size as it is stored, on the storing thread,
// so the GUI thread copies pictures rather than scaling them.
#include <QImage>

#include <cstdint>
#include <mutex>

namespace kestrine::platform {

class FrameStore {
public:
    void Store(QImage image)
    {
        QSize target;
        {
            std::lock_guard lock(mutex_);
            target = paintSize_;
        }
        QImage fitted;
        if (!target.isEmpty() && !image.isNull() && image.size() != target)
            fitted = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        std::lock_guard lock(mutex_);
        image_ = std::move(image);
        fitted_ = std::move(fitted);
        ++generation_;
    }
    // The size, in device pixels, the window paints pictures at.
    void SetPaintSize(QSize size)
    {
        std::lock_guard lock(mutex_);
        paintSize_ = size;
    }
    // The stored picture scaled to `size`; a null image when it was not stored for that size.
    QImage Fitted(QSize size) const
    {
        std::lock_guard lock(mutex_);
        return fitted_.size() == size ? fitted_ : QImage();
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
    QImage fitted_;
    QSize paintSize_;
    std::uint64_t generation_ = 0;
};

}  // namespace kestrine::platform
