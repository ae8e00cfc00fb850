#include "platform/AsyncKeyState.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace kestrine::platform {

AsyncKeyState::AsyncKeyState(QCoreApplication& application) : QObject(&application)
{
    setObjectName(QStringLiteral("AsyncKeyState"));
    application.installEventFilter(this);
}

AsyncKeyState* AsyncKeyState::ForApplication()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return nullptr;
    if (auto* existing = application->findChild<AsyncKeyState*>(QString(), Qt::FindDirectChildrenOnly))
        return existing;
    return new AsyncKeyState(*application);  // owned by the application object
}

AsyncKeyState::KeyState AsyncKeyState::Query(int key)
{
    KeyState state;
    state.Down = down_.contains(key);
    state.PressedSinceLastQuery = pressed_.remove(key);
    return state;
}

void AsyncKeyState::ForgetHeldKeys()
{
    down_.clear();
}

bool AsyncKeyState::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    // A key bound to a shortcut reaches the application only as its override query: the
    // press itself is then consumed by the shortcut.
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        down_.insert(key->key());
        pressed_.insert(key->key());
        break;
    }
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Auto-repeat sends release and press pairs while the key stays down.
        if (!key->isAutoRepeat())
            down_.remove(key->key());
        break;
    }
    case QEvent::ApplicationDeactivate:
        ForgetHeldKeys();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kestrine::platform
