#pragma once
#include <QObject>
#include <QSet>

class QCoreApplication;

namespace kestrine::platform {

// What the application has seen of a key: whether it is held down now, and whether it was
// pressed since the last time someone asked. Watches every key event the application
// delivers, to any window, so a long wait can notice Escape wherever the focus is.
class AsyncKeyState final : public QObject {
    Q_OBJECT
public:
    struct KeyState {
        bool Down = false;
        bool PressedSinceLastQuery = false;
        bool Any() const { return Down || PressedSinceLastQuery; }
    };

    // The tracker of the running application, installed on first use and owned by the
    // application object; nullptr when there is no application.
    static AsyncKeyState* ForApplication();

    // The key's state; clears its "pressed since" mark. `key` is a Qt::Key value.
    KeyState Query(int key);

    // Keys that are held down are forgotten, for when the application loses the keyboard
    // and would never see their release.
    void ForgetHeldKeys();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit AsyncKeyState(QCoreApplication& application);

    QSet<int> down_;
    QSet<int> pressed_;
};

}  // namespace kestrine::platform
