#pragma once
#include <functional>

class QObject;

namespace kestrine::ui {

// A plain event with its sender, as the editor's controls report clicks, changes and focus.
using TNotifyEvent = std::function<void(QObject* Sender)>;

}  // namespace kestrine::ui
