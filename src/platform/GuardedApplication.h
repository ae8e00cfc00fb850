#pragma once
#include <QApplication>
#include <exception>
#include <functional>

namespace kestrine::platform {

// Runs one delivery of an event and keeps any exception on this side of the event loop: it is shown
// in the standard error box (through the dialog seam) and the event counts as handled.
// Returns what the delivery returned, or true when it threw.
bool DeliverGuarded(const std::function<bool()>& deliver);

// Shows the exception the way an escaped handler error is shown: its message in the standard error box.
void ShowEscapedException(std::exception_ptr error);

// The editor's application object: every event goes through DeliverGuarded, so an exception
// that escapes a handler ends that handler and is reported, and Qt never sees it.
class GuardedApplication : public QApplication {
    Q_OBJECT
public:
    GuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kestrine::platform
