// Start-up: the application, the main window (its creation runs FormCreate, which may show the
// missing-cutter warning first), the LOG window hidden, then the message loop.
#include "platform/GuardedApplication.h"
#include "platform/com/ComRuntime.h"
#include "platform/TerminationSignals.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"

#include <cstdio>
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

}  // namespace

int main(int argc, char** argv)
{
    kestrine::platform::GuardedApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("kestrine"));
    // Logout or Ctrl+C ends the loop at once (no close question: nobody may be there to answer it),
    // and the windows' destructors still remove the run's result files.
    kestrine::platform::TerminationSignals endOnSignal([](int signal) { QCoreApplication::exit(128 + signal); });
    try {
        ObjectRuntime objects;
        kestrine::ui::TForm1 form1;
        // Owned by the main window; lives, hidden or shown, until the end of the run.
        auto* form2 = new kestrine::ui::TForm2(&form1);
        form1.AttachLogWindow(*form2);
        form1.show();
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrine: %s\n", e.what());
        return 1;
    }
}
