#pragma once
#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace kestrine::platform {

// Turns SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal, a system shutdown) into a call on
// the GUI thread, so the editor can end its event loop normally and its destructors remove the run's
// result files instead of leaving them in the temporary directory. One instance at a time; the
// previous signal dispositions come back when it is destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool Installed() const { return installed_; }

private:
    void Drain();

    std::function<void(int)> onSignal_;
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool installed_ = false;
};

}  // namespace kestrine::platform
