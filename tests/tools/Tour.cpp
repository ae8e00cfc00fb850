// Pictures of the editor at the two moments a newcomer most wants to see: a source just opened, and
// the result after one Record. It drives the real editor window on whatever display Qt is given
// (scripts/screenshot runs it under a virtual X server), typing the keys a user would, and grabs the screen.
//
//   kestrine_tour SOURCE OUT_DIR      writes OUT_DIR/after-open.png and OUT_DIR/after-record.png
#include "core/EditState.h"
#include "platform/GuardedApplication.h"
#include "platform/com/ComRuntime.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <exception>
#include <string>

namespace {

void Dispatch(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// The screen where the editor's window lies, caption strip included.
bool Grab(const QWidget& window, const std::string& path)
{
    const QRect place = window.frameGeometry();
    const QPixmap screen =
        QGuiApplication::primaryScreen()->grabWindow(0, place.x(), place.y(), place.width(), place.height());
    if (screen.isNull() || !screen.save(QString::fromStdString(path), "PNG")) {
        std::fprintf(stderr, "kestrine_tour: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("Wrote %s\n", path.c_str());
    return true;
}

// Types a key as a user would, on whatever has the focus, so the window's shortcuts take it.
void Type(QWidget& window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &window;
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    Dispatch(150);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kestrine_tour SOURCE OUT_DIR\n");
        return 2;
    }
    kestrine::platform::GuardedApplication app(argc, argv);
    if (kestrine::platform::FAILED(kestrine::platform::CoInitialize(nullptr))) return 1;
    int status = 0;
    try {
        using kestrine::core::Edit;
        kestrine::ui::TForm1 form;
        auto* log = new kestrine::ui::TForm2(&form);
        form.AttachLogWindow(*log);
        form.show();
        Dispatch(800);

        form.OpenSource(argv[1]);
        Dispatch(1500);
        const std::string out = argv[2];
        if (!Grab(*form.window(), out + "/after-open.png")) status = 1;

        // From the keyboard, as the README tells: two keyframes on, IN, five more, OUT, Record.
        form.window()->activateWindow();
        Dispatch(300);
        for (int i = 0; i < 2; ++i) Type(form, Qt::Key_Right, Qt::AltModifier);
        Type(form, Qt::Key_I);
        for (int i = 0; i < 5; ++i) Type(form, Qt::Key_Right, Qt::AltModifier);
        Type(form, Qt::Key_O);
        Type(form, Qt::Key_R, Qt::ControlModifier);
        Dispatch(1500);
        if (!Grab(*form.window(), out + "/after-record.png")) status = 1;
        form.FormClose();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrine_tour: %s\n", e.what());
        status = 1;
    }
    kestrine::platform::CoUninitialize();
    return status;
}
