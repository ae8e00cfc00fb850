// Start-up: the application, the main window (its creation runs FormCreate, which may show the
// missing-cutter warning first), the LOG window hidden, then the message loop.
#include "platform/GuardedApplication.h"
#include "platform/com/ComRuntime.h"
#include "platform/TerminationSignals.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "Version.h"

#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <cstring>
#include <exception>

namespace {

// The media graphs are made through the object runtime, which wants the GUI thread initialised
// for as long as any graph lives.
class ObjectRuntime {
public:
    ObjectRuntime() : ok_(kestrine::platform::SUCCEEDED(kestrine::platform::CoInitialize(nullptr))) {}
    ~ObjectRuntime()
    {
        if (ok_) kestrine::platform::CoUninitialize();
    }
    ObjectRuntime(const ObjectRuntime&) = delete;
    ObjectRuntime& operator=(const ObjectRuntime&) = delete;

private:
    bool ok_;
};

constexpr const char* kUsage =
    "Usage: kestrine [FILE]   start the editor, opening FILE in the Player when given\n"
    "       kestrine --version | -h | --help\n";

// The two switches are answered before any window exists, so they work without a display.
// Returns the exit code when the command line was answered here, or -1 to start the editor.
// Everything else is left to the toolkit (-platform, -style, ...), then a source file may follow.
int AnswerCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kestrine %s\n", KESTRINE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (const int code = AnswerCommandLine(argc, argv); code >= 0) return code;
    kestrine::platform::GuardedApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("kestrine"));
    // Logout or Ctrl+C ends the loop at once (no close question: nobody may be there to answer it),
    // and the windows' destructors still remove the run's result files.
    // A signal can come while the missing-cutter warning is still up, before the main loop runs: that
    // ends only the warning's own loop, so it is remembered here and the main loop is never entered.
    // A cutter run in progress is ended as well, so no cutter outlives the editor and nothing it writes
    // survives the run directory's removal.
    int endedBySignal = 0;
    kestrine::ui::TForm1* editor = nullptr;
    kestrine::platform::TerminationSignals endOnSignal([&endedBySignal, &editor](int signal) {
        endedBySignal = 128 + signal;
        if (editor != nullptr) editor->StopCutterForExit();
        QCoreApplication::exit(endedBySignal);
    });
    try {
        ObjectRuntime objects;
        kestrine::ui::TForm1 form1;
        if (endedBySignal != 0) return endedBySignal;
        editor = &form1;
        struct Forget {
            kestrine::ui::TForm1*& editor;
            ~Forget() { editor = nullptr; }
        } forget{editor};
        // Owned by the main window; lives, hidden or shown, until the end of the run.
        auto* form2 = new kestrine::ui::TForm2(&form1);
        form1.AttachLogWindow(*form2);
        form1.show();
        // A source named on the command line (a file manager's "Open with") opens as Open does, once
        // the window is up, so a file that cannot be played is reported in the usual error box.
        // The toolkit has taken its own options out of argv by now; the name is kept as bytes.
        if (argc > 1) {
            std::error_code error;
            std::filesystem::path source = std::filesystem::absolute(argv[1], error);
            if (error) source = argv[1];
            QTimer::singleShot(0, &form1, [&form1, source] { form1.OpenSource(source.string()); });
        }
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrine: %s\n", e.what());
        return 1;
    }
}
