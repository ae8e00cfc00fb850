#pragma once
// The stand-in for windows that receive posted messages: a handle, a class name and a title for
// lookups, and a procedure run on the thread that created the window, through Qt's event loop.
// Graph event notification, hidden event windows and renderer window lookups are built on it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace kestrine::platform {

using HWND = std::uintptr_t;  // 0 is no window; handles are never reused within a run
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr UINT WM_APP = 0x8000;

class MessageWindow {
public:
    using Procedure = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

    // Registers the window; messages posted to it run procedure on the calling thread, which must
    // run a Qt event loop (the GUI thread). widget, when given, is what the handle stands for on screen.
    MessageWindow(std::string className, std::string title, Procedure procedure, HWND parent = 0, QWidget* widget = nullptr);
    // Unregisters; messages still queued for the window are dropped.
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND Handle() const { return handle_; }
    void SetTitle(std::string title);
    void SetParent(HWND parent);
    void SetWidget(QWidget* widget);

    struct Mailbox;

private:
    HWND handle_ = 0;
    std::unique_ptr<Mailbox> mailbox_;
};

// Queues the message for the window's thread; false when there is no such window. Safe from any thread.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the window's procedure at once and gives its result; 0 when there is no such window.
// Only from the window's own thread.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool IsWindow(HWND window);

// The first window after childAfter (0: from the start) whose parent is parent, whose class name is
// className and whose title is title; a null className or title matches any. 0 when none.
HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* title);
std::string WindowTitle(HWND window);
std::string WindowClassName(HWND window);
QWidget* WindowWidget(HWND window);

}  // namespace kestrine::platform
