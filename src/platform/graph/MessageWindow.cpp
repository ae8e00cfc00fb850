#include "platform/graph/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <map>
#include <mutex>

// Qt hands posted events between threads under its own locks, which ThreadSanitizer cannot see;
// these marks tell it that a message is complete before it is posted and read only after delivery.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#define KESTRINE_HANDOFF_RELEASE(p) __tsan_release(p)
#define KESTRINE_HANDOFF_ACQUIRE(p) __tsan_acquire(p)
#else
#define KESTRINE_HANDOFF_RELEASE(p) ((void)(p))
#define KESTRINE_HANDOFF_ACQUIRE(p) ((void)(p))
#endif

namespace kestrine::platform {
namespace {

const QEvent::Type kPostedMessage = static_cast<QEvent::Type>(QEvent::registerEventType());

struct PostedMessage final : QEvent {
    PostedMessage(UINT m, WPARAM w, LPARAM l) : QEvent(kPostedMessage), message(m), wParam(w), lParam(l) {}
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct Entry {
    std::string className;
    std::string title;
    HWND parent = 0;
    QPointer<QWidget> widget;
    MessageWindow::Mailbox* mailbox = nullptr;
};

// The process's window table, the one piece of shared state windows need (as the system's would be).
struct WindowTable {
    std::mutex mutex;
    std::map<HWND, Entry> windows;  // ordered by handle = creation order, which FindWindowEx walks
    HWND next = 0x1000;

    static WindowTable& Instance()
    {
        static WindowTable table;
        return table;
    }
};

}  // namespace

struct MessageWindow::Mailbox final : QObject {
    explicit Mailbox(Procedure p) : procedure(std::move(p)) {}
    bool event(QEvent* e) override
    {
        KESTRINE_HANDOFF_ACQUIRE(e);
        if (e->type() != kPostedMessage) return QObject::event(e);
        const auto* m = static_cast<PostedMessage*>(e);
        if (procedure) procedure(m->message, m->wParam, m->lParam);
        return true;
    }
    Procedure procedure;
};

MessageWindow::MessageWindow(std::string className, std::string title, Procedure procedure, HWND parent, QWidget* widget)
    : mailbox_(std::make_unique<Mailbox>(std::move(procedure)))
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    handle_ = table.next;
    table.next += 4;
    table.windows[handle_] = Entry{std::move(className), std::move(title), parent, widget, mailbox_.get()};
}

MessageWindow::~MessageWindow()
{
    {
        auto& table = WindowTable::Instance();
        std::lock_guard lock(table.mutex);
        table.windows.erase(handle_);
    }
    // Deleting the mailbox drops whatever is still queued for it.
    mailbox_.reset();
}

void MessageWindow::SetTitle(std::string title)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    table.windows[handle_].title = std::move(title);
}

void MessageWindow::SetParent(HWND parent)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    table.windows[handle_].parent = parent;
}

void MessageWindow::SetWidget(QWidget* widget)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    table.windows[handle_].widget = widget;
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);  // held while posting, so the mailbox cannot go meanwhile
    const auto it = table.windows.find(window);
    if (it == table.windows.end() || it->second.mailbox == nullptr) return false;
    auto* posted = new PostedMessage(message, wParam, lParam);
    KESTRINE_HANDOFF_RELEASE(posted);
    QCoreApplication::postEvent(it->second.mailbox, posted);
    return true;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageWindow::Procedure procedure;
    {
        auto& table = WindowTable::Instance();
        std::lock_guard lock(table.mutex);
        const auto it = table.windows.find(window);
        if (it == table.windows.end() || it->second.mailbox == nullptr) return 0;
        procedure = it->second.mailbox->procedure;
    }
    return procedure ? procedure(message, wParam, lParam) : 0;
}

bool IsWindow(HWND window)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    return table.windows.count(window) > 0;
}

HWND FindWindowEx(HWND parent, HWND childAfter, const char* className, const char* title)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    auto it = childAfter ? table.windows.upper_bound(childAfter) : table.windows.begin();
    for (; it != table.windows.end(); ++it) {
        const Entry& e = it->second;
        if (e.parent != parent) continue;
        if (className && e.className != className) continue;
        if (title && e.title != title) continue;
        return it->first;
    }
    return 0;
}

std::string WindowTitle(HWND window)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    const auto it = table.windows.find(window);
    return it == table.windows.end() ? std::string() : it->second.title;
}

std::string WindowClassName(HWND window)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    const auto it = table.windows.find(window);
    return it == table.windows.end() ? std::string() : it->second.className;
}

QWidget* WindowWidget(HWND window)
{
    auto& table = WindowTable::Instance();
    std::lock_guard lock(table.mutex);
    const auto it = table.windows.find(window);
    return it == table.windows.end() ? nullptr : it->second.widget.data();
}

}  // namespace kestrine::platform
