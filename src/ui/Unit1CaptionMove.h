#pragma once
#include <vector>

class QWidget;

namespace kestrine::ui {

// Starting a window move that the window system carries out (dragging by the caption).
class WindowMoveHandler {
public:
    virtual ~WindowMoveHandler() = default;
    // False when the window system cannot move this window; the caller then moves it itself.
    virtual bool StartSystemMove(QWidget& window) = 0;
};

bool StartSystemMove(QWidget& window);

// For tests: records the moves asked for instead of starting them, for its lifetime.
class RecordingWindowMover final : public WindowMoveHandler {
public:
    explicit RecordingWindowMover(bool systemMoves = true);
    ~RecordingWindowMover() override;
    RecordingWindowMover(const RecordingWindowMover&) = delete;
    RecordingWindowMover& operator=(const RecordingWindowMover&) = delete;

    bool StartSystemMove(QWidget& window) override;
    const std::vector<QWidget*>& Moves() const { return moves_; }

private:
    WindowMoveHandler* previous_;
    bool systemMoves_;
    std::vector<QWidget*> moves_;
};

}  // namespace kestrine::ui
