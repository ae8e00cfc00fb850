#include "media/VideoWindowHandles.h"

#include <QObject>
#include <QWidget>

#include <memory>

namespace kestrine::media {
namespace {

constexpr const char* kHolderName = "kestrine_window_handle";

// Lives as a child of the widget, so the handle goes with it.
class WindowHandleHolder final : public QObject {
public:
    explicit WindowHandleHolder(QWidget* widget)
        : QObject(widget),
          window_(std::make_unique<platform::MessageWindow>(
              widget->metaObject()->className(), widget->windowTitle().toStdString(),
              [](platform::UINT, platform::WPARAM, platform::LPARAM) -> platform::LRESULT { return 0; }, 0, widget))
    {
        setObjectName(kHolderName);
    }
    platform::HWND Handle() const { return window_->Handle(); }

private:
    std::unique_ptr<platform::MessageWindow> window_;
};

}  // namespace

platform::HWND WindowHandleForWidget(QWidget* widget)
{
    if (widget == nullptr) return 0;
    for (QObject* child : widget->children()) {
        if (child->objectName() == QLatin1String(kHolderName)) {
            if (auto* holder = dynamic_cast<WindowHandleHolder*>(child)) return holder->Handle();
        }
    }
    // A window registered for the widget by its own code is used as it is.
    for (platform::HWND h = platform::FindWindowEx(0, 0, nullptr, nullptr); h != 0; h = platform::FindWindowEx(0, h, nullptr, nullptr)) {
        if (platform::WindowWidget(h) == widget) return h;
    }
    return (new WindowHandleHolder(widget))->Handle();
}

}  // namespace kestrine::media
