#include "platform/graph/EventQueue.h"

#include "platform/graph/EventCodes.h"

#include <chrono>

namespace kestrine::platform {

void EventQueue::Push(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    HWND window = 0;
    UINT message = 0;
    LONG_PTR instance = 0;
    {
        std::lock_guard lock(mutex_);
        if (code == EC_COMPLETE || code == EC_USERABORT || code == EC_ERRORABORT) completion_ = code;
        if (flags_ & AM_MEDIAEVENT_NONOTIFY) {
            arrived_.notify_all();
            return;
        }
        events_.push_back(Event{code, param1, param2});
        window = window_;
        message = message_;
        instance = instance_;
    }
    arrived_.notify_all();
    // One message per event; the receiver drains everything waiting, so later messages may find nothing.
    if (window != 0) PostMessage(window, message, 0, instance);
}

HRESULT EventQueue::Pop(Event* event, LONG timeoutMs)
{
    if (event == nullptr) return E_POINTER;
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return !events_.empty(); };
    if (timeoutMs < 0) arrived_.wait(lock, ready);
    else if (timeoutMs > 0) arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (events_.empty()) {
        *event = Event{};
        return E_ABORT;
    }
    *event = events_.front();
    events_.pop_front();
    return S_OK;
}

HRESULT EventQueue::SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData)
{
    if (window != 0 && !IsWindow(static_cast<HWND>(window))) return E_INVALIDARG;
    std::size_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        window_ = static_cast<HWND>(window);
        message_ = static_cast<UINT>(message);
        instance_ = instanceData;
        waiting = events_.size();
    }
    // Events queued before the window was named still get their notification.
    for (std::size_t i = 0; window != 0 && i < waiting; ++i) PostMessage(static_cast<HWND>(window), static_cast<UINT>(message), 0, instanceData);
    return S_OK;
}

HRESULT EventQueue::SetNotifyFlags(LONG flags)
{
    if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    flags_ = flags;
    if (flags_ & AM_MEDIAEVENT_NONOTIFY) events_.clear();
    return S_OK;
}

LONG EventQueue::NotifyFlags() const
{
    std::lock_guard lock(mutex_);
    return flags_;
}

HRESULT EventQueue::WaitForCompletion(LONG timeoutMs, LONG* code)
{
    if (code == nullptr) return E_POINTER;
    std::unique_lock lock(mutex_);
    const auto done = [&] { return completion_.has_value(); };
    if (timeoutMs < 0) arrived_.wait(lock, done);
    else arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    *code = completion_.value_or(0);
    return completion_ ? S_OK : E_ABORT;
}

void EventQueue::ResetCompletion()
{
    std::lock_guard lock(mutex_);
    completion_.reset();
}

std::size_t EventQueue::Size() const
{
    std::lock_guard lock(mutex_);
    return events_.size();
}

}  // namespace kestrine::platform
