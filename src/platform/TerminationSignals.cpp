#include "platform/TerminationSignals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kestrine::platform {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// The write end the handler uses; a signal handler can reach nothing else safely.
volatile std::sig_atomic_t writeEnd = -1;
struct sigaction previous[kSignals.size()];

extern "C" void OnTerminationSignal(int signal)
{
    const int saved = errno;
    const unsigned char code = static_cast<unsigned char>(signal);
    if (writeEnd >= 0) {
        const ssize_t ignored = ::write(writeEnd, &code, 1);
        (void)ignored;  // a full pipe already holds a pending request
    }
    errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal))
{
    if (writeEnd >= 0 || ::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    writeEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
    installed_ = true;
}

TerminationSignals::~TerminationSignals()
{
    if (installed_) {
        for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
        writeEnd = -1;
    }
    notifier_.reset();
    for (int fd : pipe_)
        if (fd >= 0) ::close(fd);
}

void TerminationSignals::Drain()
{
    unsigned char codes[16];
    for (;;) {
        const ssize_t n = ::read(pipe_[0], codes, sizeof codes);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i)
            if (onSignal_) onSignal_(codes[i]);
    }
}

}  // namespace kestrine::platform
