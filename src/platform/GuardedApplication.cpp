#include "platform/GuardedApplication.h"

#include "platform/DialogSeam.h"

#include <QString>
#include <cstdio>
#include <stdexcept>

namespace kestrine::platform {

void ShowEscapedException(std::exception_ptr error)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = QStringLiteral("An unknown error occurred.");
    }
    try {
        ShowErrorMessage(text);
    } catch (...) {
        // The box itself failed (out of memory, say): the message must still reach someone.
        std::fprintf(stderr, "kestrine: %s\n", text.toLocal8Bit().constData());
    }
}

bool DeliverGuarded(const std::function<bool()>& deliver)
{
    try {
        return deliver();
    } catch (...) {
        ShowEscapedException(std::current_exception());
        return true;
    }
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event)
{
    return DeliverGuarded([&] { return QApplication::notify(receiver, event); });
}

}  // namespace kestrine::platform
