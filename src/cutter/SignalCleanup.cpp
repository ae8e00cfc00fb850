#include "cutter/SignalCleanup.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace kestrine::cutter {

namespace {

// The handler may only use async-signal-safe calls, so the paths live in fixed static buffers and
// each slot's state is a lock-free atomic: the handler unlinks only slots marked kActive, and a
// slot's path is complete before it is marked so.

constexpr int kSlotCount = 16;
enum SlotState : int { kFree = 0, kFilling = 1, kActive = 2 };
struct TemporarySlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
TemporarySlot g_slots[kSlotCount];

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int kCleanupSignalCount = sizeof(kCleanupSignals) / sizeof(kCleanupSignals[0]);
struct sigaction g_previous[kCleanupSignalCount];
std::once_flag g_handlersInstalled;

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

// While a TerminationHold lives, a signal is only noted here.
std::atomic<bool> g_holding{false};
std::atomic<int> g_heldSignal{0};

extern "C" void RemoveTemporariesOnSignal(int sig, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    if (g_holding.load(std::memory_order_acquire)) {
        int none = 0;
        g_heldSignal.compare_exchange_strong(none, sig, std::memory_order_acq_rel);
        errno = savedErrno;
        return;
    }
    for (TemporarySlot& slot : g_slots)
        if (slot.state.load(std::memory_order_acquire) == kActive) ::unlink(slot.path);

    int index = 0;
    while (index < kCleanupSignalCount && kCleanupSignals[index] != sig) ++index;
    if (index == kCleanupSignalCount) return;
    const struct sigaction& previous = g_previous[index];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler != nullptr) {
        previous.sa_handler(sig);
    } else {
        // End the process the way the signal would have: the re-raised signal is delivered with the
        // default action as soon as this handler returns and unblocks it.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(sig, &fallback, nullptr);
        ::raise(sig);
    }
    errno = savedErrno;
}

void InstallSignalHandlers()
{
    std::call_once(g_handlersInstalled, [] {
        for (int i = 0; i < kCleanupSignalCount; ++i) {
            struct sigaction current {};
            if (::sigaction(kCleanupSignals[i], nullptr, &current) != 0) continue;
            // A signal the process was told to ignore (nohup) stays ignored.
            if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
            struct sigaction ours {};
            ours.sa_sigaction = RemoveTemporariesOnSignal;
            ours.sa_flags = SA_SIGINFO | SA_RESTART;
            sigemptyset(&ours.sa_mask);
            for (int s : kCleanupSignals) sigaddset(&ours.sa_mask, s);
            if (::sigaction(kCleanupSignals[i], &ours, &g_previous[i]) != 0) g_previous[i] = current;
        }
    });
}

}  // namespace

int RegisterTemporary(const char* absolutePath)
{
    const std::size_t length = std::strlen(absolutePath);
    if (length >= PATH_MAX) return -1;
    InstallSignalHandlers();
    for (int i = 0; i < kSlotCount; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) {
            std::memcpy(g_slots[i].path, absolutePath, length + 1);
            g_slots[i].state.store(kActive, std::memory_order_release);
            return i;
        }
    }
    return -1;  // more simultaneous outputs than slots: those extra ones are not cleaned up on a signal
}

void UnregisterTemporary(int slot)
{
    if (slot >= 0) g_slots[slot].state.store(kFree, std::memory_order_release);
}

CleanupSignalsBlocked::CleanupSignalsBlocked()
{
    InstallSignalHandlers();
    sigset_t cleanupSignals;
    sigemptyset(&cleanupSignals);
    for (int sig : kCleanupSignals) sigaddset(&cleanupSignals, sig);
    pthread_sigmask(SIG_BLOCK, &cleanupSignals, &previous_);
}

CleanupSignalsBlocked::~CleanupSignalsBlocked()
{
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

TerminationHold::TerminationHold()
{
    InstallSignalHandlers();
    g_heldSignal.store(0, std::memory_order_release);
    g_holding.store(true, std::memory_order_release);
}

TerminationHold::~TerminationHold()
{
    g_holding.store(false, std::memory_order_release);
    if (const int sig = g_heldSignal.exchange(0, std::memory_order_acq_rel)) ::raise(sig);
}

int TerminationHold::Pending() const { return g_heldSignal.load(std::memory_order_acquire); }

}  // namespace kestrine::cutter
