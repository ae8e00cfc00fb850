#pragma once
// What the cutter does when SIGINT, SIGTERM, SIGHUP or SIGPIPE ends it: it removes the temporaries
// registered here and ends as the signal would have. Work that changes an existing file in place
// instead holds the signal off, undoes its changes, and lets it end the process then.
//
//   int slot = RegisterTemporary("/abs/.out.1a2b3c4d.part");   ... UnregisterTemporary(slot);
//
//   TerminationHold hold;                 // a signal from now on is only noted
//   ... if (hold.Pending()) throw ...;    // checked between steps; undo the changes while unwinding
//   // ~TerminationHold: a signal noted meanwhile is raised again, and ends the process
#include <signal.h>

namespace kestrine::cutter {

// Returns the slot, or -1 when there is none free (that temporary is then not removed on a signal).
int RegisterTemporary(const char* absolutePath);
void UnregisterTemporary(int slot);

// Blocks the cleanup signals in this thread while it lives.
class CleanupSignalsBlocked {
public:
    CleanupSignalsBlocked();
    ~CleanupSignalsBlocked();
    CleanupSignalsBlocked(const CleanupSignalsBlocked&) = delete;
    CleanupSignalsBlocked& operator=(const CleanupSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

// One at a time.
class TerminationHold {
public:
    TerminationHold();
    ~TerminationHold();
    TerminationHold(const TerminationHold&) = delete;
    TerminationHold& operator=(const TerminationHold&) = delete;

    // The signal that came while holding, or 0.
    int Pending() const;
};

}  // namespace kestrine::cutter
