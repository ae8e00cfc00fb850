#include "ui/Unit1CaptionMove.h"

#include <QWidget>
#include <QWindow>

namespace kestrine::ui {

namespace {

class WindowSystemMover final : public WindowMoveHandler {
public:
    bool StartSystemMove(QWidget& window) override
    {
        QWindow* handle = window.windowHandle();
        return handle != nullptr && handle->startSystemMove();
    }
};

WindowSystemMover windowSystem;
// Which handler starts moves; only RecordingWindowMover changes it.
WindowMoveHandler* installed = &windowSystem;

}  // namespace

bool StartSystemMove(QWidget& window) { return installed->StartSystemMove(window); }

RecordingWindowMover::RecordingWindowMover(bool systemMoves) : previous_(installed), systemMoves_(systemMoves)
{
    installed = this;
}

RecordingWindowMover::~RecordingWindowMover() { installed = previous_; }

bool RecordingWindowMover::StartSystemMove(QWidget& window)
{
    moves_.push_back(&window);
    return systemMoves_;
}

}  // namespace kestrine::ui
