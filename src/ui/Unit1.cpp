// The main window's construction and its links to the LOG window.
#include "ui/Unit1.h"
#include "ui/Fonts.h"

#include "platform/ExecutableDir.h"
#include "platform/TempPath.h"
#include "ui/Unit1CaptionFrame.h"
#include "ui/Unit2.h"

#include <stdexcept>

namespace kestrine::ui {

TForm1Environment TForm1Environment::FromSystem()
{
    return {platform::ExecutableDir(), platform::SystemTempPath(), platform::UserCacheDir()};
}

TForm1::TForm1(const TForm1Environment& environment) : QWidget(nullptr), environment_(environment)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KESTRINE "));
    // Fixed size, system menu and minimize box; no maximize box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(739, 372);
    setFont(TahomaFont(11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);

    CreateControls();
    ConnectHandlers();
    CreateCaptionFrame();
    ConnectRecordingHandlers();
    ConnectRecorderPaneHandlers();
    ConnectPlayerPaneHandlers();
    ConnectMediaControlHandlers();
    CreateShortcuts();
    setAcceptDrops(true);
    FormCreate();
}

TForm1::~TForm1() { ReleaseCaptionFrame(); }

void TForm1::AttachLogWindow(TForm2& logWindow)
{
    logWindow_ = &logWindow;
    logWindow.SetToggleButton(sp1);
}

core::LogText& TForm1::Log()
{
    if (logWindow_ == nullptr) throw std::logic_error("The LOG window is not attached to the main window.");
    return *logWindow_->Memo1;
}

}  // namespace kestrine::ui
