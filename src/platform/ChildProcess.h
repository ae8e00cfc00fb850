#pragma once
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrine::platform {

// A program started directly (no shell) with its standard output on a pipe we read,
// standard input from /dev/null and standard error shared with ours.
//
// Whoever drops a ChildProcess that is still running hands it to a background reaper,
// which keeps draining (and discarding) its output so it never blocks on a full pipe or
// dies of a broken one, and collects its exit status when it ends: no zombies. A child
// that must not outlive its purpose is ended with Terminate first.
class ChildProcess {
public:
    // Starts argv[0] (a path; no search of PATH) with the given arguments.
    // pipeSize > 0 asks the kernel for that capacity of the output pipe, clamped to what
    // the system allows; 0 keeps the default. Returns nothing when the program cannot be
    // started; `error`, when given, then receives the errno value.
    static std::optional<ChildProcess> Start(const std::vector<std::string>& argv,
                                             std::int64_t pipeSize, int* error = nullptr);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t Pid() const { return pid_; }

    // Whether the child has ended; collects its status the first time it has.
    bool HasEnded();

    // The wait status from waitpid once HasEnded() said true.
    int WaitStatus() const { return waitStatus_; }

    // Waits at most `timeout` until output is pending, the output reaches its end, or the
    // child ends, whichever comes first.
    void WaitForOutputOrEnd(std::chrono::milliseconds timeout);

    // Reads what is pending without waiting; 0 when nothing is pending or the output ended.
    std::size_t ReadAvailable(std::span<char> buffer);

    // Whether the child's output has reached its end (every writer closed it).
    bool OutputEnded() const { return outputEnded_; }

    // Ends the child: SIGTERM, so it can remove what it was writing, then, should it still
    // run after `grace`, SIGKILL. Returns once the child has ended and its status is
    // collected. Its output stays readable up to its end.
    void Terminate(std::chrono::milliseconds grace);

    // The capacity the kernel gave the output pipe, in bytes.
    int PipeCapacity() const;

private:
    ChildProcess(pid_t pid, int outputFd, int pidFd);
    void Release() noexcept;

    pid_t pid_ = -1;
    int outputFd_ = -1;  // read end of the output pipe, non-blocking
    int pidFd_ = -1;     // becomes readable when the child ends; -1 where the kernel lacks it
    bool ended_ = false;
    bool outputEnded_ = false;
    int waitStatus_ = 0;
};

// The capacity F_SETPIPE_SZ is allowed to give an unprivileged process.
int MaximumPipeSize();

}  // namespace kestrine::platform
