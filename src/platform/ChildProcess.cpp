#include "platform/ChildProcess.h"

#include "asf/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <fstream>
#include <thread>
#include <utility>

extern char** environ;

namespace kestrine::platform {

namespace {

using Clock = std::chrono::steady_clock;

class FileActions {
public:
    FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~FileActions()
    {
        if (ok_)
            posix_spawn_file_actions_destroy(&actions_);
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    bool Ok() const { return ok_; }
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
    ~SpawnAttributes()
    {
        if (ok_)
            posix_spawnattr_destroy(&attributes_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    bool Ok() const { return ok_; }
    posix_spawnattr_t* Get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
    bool ok_ = false;
};


int OpenPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd >= 0 ? static_cast<int>(fd) : -1;
#else
    (void)pid;
    return -1;
#endif
}

int Poll(std::span<pollfd> fds, int timeoutMs)
{
    const int result = ::poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs);
    return result < 0 && errno == EINTR ? 0 : result;
}

// Owns a child nobody waits for any more: keeps reading its output so it neither blocks
// on a full pipe nor dies of a closed one, and collects its status when it ends.
void ReapInBackground(pid_t pid, int outputFd, int pidFd)
{
    std::array<char, 65536> sink{};
    for (;;) {
        std::array<pollfd, 2> fds{};
        std::size_t count = 0;
        if (outputFd >= 0)
            fds[count++] = pollfd{outputFd, POLLIN, 0};
        if (pidFd >= 0)
            fds[count++] = pollfd{pidFd, POLLIN, 0};
        // Without a pid descriptor the end of the child can only be noticed by asking.
        Poll(std::span(fds.data(), count), pidFd >= 0 ? -1 : 100);

        while (outputFd >= 0) {
            const ssize_t n = ::read(outputFd, sink.data(), sink.size());
            if (n > 0)
                continue;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                break;
            ::close(outputFd);
            outputFd = -1;
        }

        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR))
            break;
    }
    if (outputFd >= 0)
        ::close(outputFd);
    if (pidFd >= 0)
        ::close(pidFd);
}

}  // namespace

int MaximumPipeSize()
{
    std::ifstream in("/proc/sys/fs/pipe-max-size");
    long long size = 0;
    if (in >> size && size > 0)
        return static_cast<int>(std::min<long long>(size, INT_MAX));
    return 1048576;  // the kernel's default limit
}

std::optional<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv,
                                                std::int64_t pipeSize, int* error)
{
    auto fail = [error](int code) -> std::optional<ChildProcess> {
        if (error)
            *error = code;
        return std::nullopt;
    };
    if (argv.empty())
        return fail(EINVAL);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        // A NUL byte cannot travel in an argument; refuse rather than cut it short.
        if (arg.find('\0') != std::string::npos)
            return fail(EINVAL);
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return fail(errno);
    asf::UniqueFd readEnd(pipeFds[0]);
    asf::UniqueFd writeEnd(pipeFds[1]);

    if (pipeSize > 0) {
        const auto size = static_cast<int>(std::min<std::int64_t>(pipeSize, MaximumPipeSize()));
        // A refusal (the user's pipe quota) leaves the default size, which is still correct
        // because the output is read while the child runs.
        (void)::fcntl(writeEnd.Get(), F_SETPIPE_SZ, size);
    }

    FileActions actions;
    SpawnAttributes attributes;
    if (!actions.Ok() || !attributes.Ok())
        return fail(ENOMEM);
    // The output first: should the write end be descriptor 0, opening /dev/null must not
    // replace it before it is copied.
    if (posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO) != 0 ||
        posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0)
        return fail(ENOMEM);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors someone opened without close-on-exec stay with us.
    (void)posix_spawn_file_actions_addclosefrom_np(actions.Get(), STDERR_FILENO + 1);
#endif
    // Ignored signals and a blocked mask would be inherited through exec; the child
    // starts with the defaults, so a broken pipe or an interrupt acts as usual.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(attributes.Get(), &all);
    posix_spawnattr_setsigmask(attributes.Get(), &none);
    posix_spawnattr_setflags(attributes.Get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, args[0], actions.Get(), attributes.Get(), args.data(), environ);
    if (spawned != 0)
        return fail(spawned);

    ::close(writeEnd.Release());
    const int flags = ::fcntl(readEnd.Get(), F_GETFL);
    (void)::fcntl(readEnd.Get(), F_SETFL, flags | O_NONBLOCK);
    return ChildProcess(pid, readEnd.Release(), OpenPidFd(pid));
}

ChildProcess::ChildProcess(pid_t pid, int outputFd, int pidFd)
    : pid_(pid), outputFd_(outputFd), pidFd_(pidFd)
{
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      outputFd_(std::exchange(other.outputFd_, -1)),
      pidFd_(std::exchange(other.pidFd_, -1)),
      ended_(other.ended_),
      outputEnded_(other.outputEnded_),
      waitStatus_(other.waitStatus_)
{
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        Release();
        pid_ = std::exchange(other.pid_, -1);
        outputFd_ = std::exchange(other.outputFd_, -1);
        pidFd_ = std::exchange(other.pidFd_, -1);
        ended_ = other.ended_;
        outputEnded_ = other.outputEnded_;
        waitStatus_ = other.waitStatus_;
    }
    return *this;
}

ChildProcess::~ChildProcess()
{
    Release();
}

void ChildProcess::Release() noexcept
{
    if (pid_ > 0 && !HasEnded()) {
        try {
            std::thread(ReapInBackground, pid_, outputFd_, pidFd_).detach();
            pid_ = -1;
            outputFd_ = -1;
            pidFd_ = -1;
            return;
        } catch (...) {
            // No thread to spare: the descriptors are closed below and the child is left
            // to finish on its own.
        }
    }
    if (outputFd_ >= 0)
        ::close(outputFd_);
    if (pidFd_ >= 0)
        ::close(pidFd_);
    pid_ = -1;
    outputFd_ = -1;
    pidFd_ = -1;
}

bool ChildProcess::HasEnded()
{
    if (ended_ || pid_ <= 0)
        return true;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            ended_ = true;
            waitStatus_ = status;
            return true;
        }
        if (r == 0)
            return false;
        if (errno == EINTR)
            continue;
        // ECHILD: someone else collected it; it has ended all the same.
        ended_ = true;
        return true;
    }
}

void ChildProcess::WaitForOutputOrEnd(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (HasEnded())
            return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return;
        std::array<pollfd, 2> fds{};
        std::size_t count = 0;
        if (outputFd_ >= 0 && !outputEnded_)
            fds[count++] = pollfd{outputFd_, POLLIN, 0};
        if (pidFd_ >= 0)
            fds[count++] = pollfd{pidFd_, POLLIN, 0};
        // Without a pid descriptor, look at the child every few milliseconds.
        const int slice = pidFd_ >= 0 ? static_cast<int>(left.count())
                                      : static_cast<int>(std::min<long long>(left.count(), 10));
        const int ready = Poll(std::span(fds.data(), count), slice);
        if (ready > 0) {
            for (std::size_t i = 0; i < count; ++i) {
                if (fds[i].fd == outputFd_ && fds[i].revents != 0)
                    return;
            }
        }
    }
}

std::size_t ChildProcess::ReadAvailable(std::span<char> buffer)
{
    if (outputFd_ < 0 || outputEnded_ || buffer.empty())
        return 0;
    for (;;) {
        const ssize_t n = ::read(outputFd_, buffer.data(), buffer.size());
        if (n > 0)
            return static_cast<std::size_t>(n);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return 0;
        outputEnded_ = true;
        return 0;
    }
}

void ChildProcess::Terminate(std::chrono::milliseconds grace)
{
    if (HasEnded())
        return;
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (!HasEnded()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        if (pidFd_ >= 0) {
            pollfd fd{pidFd_, POLLIN, 0};
            Poll(std::span(&fd, 1), static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(10)));
        }
    }
    if (HasEnded())
        return;
    ::kill(pid_, SIGKILL);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, 0);
        if (r == pid_) {
            waitStatus_ = status;
            break;
        }
        if (r < 0 && errno != EINTR)
            break;
    }
    ended_ = true;
}

int ChildProcess::PipeCapacity() const
{
    return outputFd_ >= 0 ? ::fcntl(outputFd_, F_GETPIPE_SZ) : -1;
}

}  // namespace kestrine::platform
