#pragma once
// A graph's queue of events for its user, with notification by message to a window.
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MessageWindow.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace kestrine::platform {

class EventQueue {
public:
    struct Event {
        LONG code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
    };

    // Queues the event and posts the notification message; nothing while notification is off.
    void Push(LONG code, LONG_PTR param1, LONG_PTR param2);
    // E_ABORT when nothing arrives within timeoutMs (negative: wait as long as it takes).
    HRESULT Pop(Event* event, LONG timeoutMs);
    HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData);
    HRESULT SetNotifyFlags(LONG flags);
    LONG NotifyFlags() const;
    // Waits for EC_COMPLETE, EC_USERABORT or EC_ERRORABORT since the last ResetCompletion.
    HRESULT WaitForCompletion(LONG timeoutMs, LONG* code);
    void ResetCompletion();
    std::size_t Size() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Event> events_;
    HWND window_ = 0;
    UINT message_ = 0;
    LONG_PTR instance_ = 0;
    LONG flags_ = 0;
    std::optional<LONG> completion_;
};

}  // namespace kestrine::platform
