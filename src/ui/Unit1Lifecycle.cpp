// The main window's creation, activation, close question and close.
#include "ui/Unit1.h"

#include "core/EditState.h"
#include "platform/CaptionMetrics.h"
#include "platform/DialogSeam.h"
#include "platform/FileOps.h"
#include "platform/QtPathNames.h"
#include "platform/ShortPath.h"
#include "ui/Unit1CaptionFrame.h"
#include "ui/Unit1CaptionStrip.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QLocale>
#include <QScreen>
#include <clocale>

namespace kestrine::ui {

using core::Edit;

void TForm1::FormCreate()
{
    // The track bars are drawn by the editor itself, so there is no platform theme to switch off here.

    // Every number the editor turns into text uses a point: command lines depend on it. (C++ streams
    // already use the classic locale; Qt set the C locale from the environment at start-up.)
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());

    Edit.EditorDir = platform::ShortPathName(environment_.ExecutableDir);
    if (Edit.EditorDir.empty() || Edit.EditorDir.back() != '/') Edit.EditorDir.push_back('/');

    runDirectory_ = platform::PrivateRunDirectory::Create(environment_.SystemTempPath, environment_.UserCacheDir);
    if (runDirectory_) {
        Edit.TempDir = platform::ShortPathName(runDirectory_->Path());
    } else {
        // Nowhere private to write: results cannot be made, and saying so beats writing into a shared
        // place. A folder below a file can never exist, so no one can prepare it for us either.
        Edit.TempDir = "/dev/null/kestrine/";
        platform::MessageRequest request;
        request.text = QStringLiteral("Cannot create a private folder for temporary files in %1 or %2. "
                                      "Recording will not work in this session.")
                           .arg(platform::ToQtPath(environment_.SystemTempPath),
                                platform::ToQtPath(environment_.UserCacheDir));
        request.title = QStringLiteral("Warning");
        request.icon = platform::MessageIcon::Warning;
        platform::ShowMessage(request);
    }

    if (!platform::FileExists(Edit.EditorDir + "asfbin.exe")) {
        TForm3 warning(this);
        platform::Dialogs().ShowModal(warning);
    }
    OfferOrphanedResults();
}

void TForm1::FormActivate() { FormPaint(); }

void TForm1::FormPaint()
{
    const int measured = QFontMetrics(platform::CaptionFont()).horizontalAdvance(windowTitle() + QStringLiteral("by "));
    if (measured == CaptionPrefixWidth) return;
    CaptionPrefixWidth = measured;
    // The maker line follows the title: once the title's width is known, draw the caption again so
    // the line does not stay where the old width put it.
    if (captionFrame_) captionFrame_->CaptionBar->update();
}

void TForm1::FormCloseQuery(bool& CanClose)
{
    // Ask while a recording could be lost: before the first Save, and whenever the Recorder
    // holds a result made since the last Save.
    if (Edit.ResultSaved && Edit.ResultCounter <= 0) {
        CanClose = true;
        return;
    }
    platform::MessageRequest request;
    request.text = QStringLiteral("Are You Sure? Do not forget to save your movie!");
    request.title = QStringLiteral("Warning");
    request.buttons = platform::MessageButtons::OkCancel;
    request.icon = platform::MessageIcon::Warning;
    CanClose = platform::ShowMessage(request) == platform::ModalResult::Ok;
}

void TForm1::FormClose()
{
    Edit.KeyFrames.clear();
    // A media error here ends the close handler; the result files still go when the window is
    // destroyed, as the run directory cleans up after itself.
    FilterGraph1->EmptyGraph();
    FilterGraph2->EmptyGraph();
    FilterGraph1->SetActive(false);
    FilterGraph2->SetActive(false);
    DeleteResultFiles();
}

void TForm1::DeleteResultFiles()
{
    for (std::int32_t n = 0; n <= Edit.HighestResult; ++n)
        platform::DeleteFile(Edit.TempDir + "temp" + std::to_string(n));  // missing or locked: passed over
    if (runDirectory_) {
        runDirectory_->Remove();
        runDirectory_.reset();
    }
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(e);
}

void TForm1::paintEvent(QPaintEvent* e)
{
    FormPaint();
    QWidget::paintEvent(e);
}

void TForm1::showEvent(QShowEvent* e)
{
    if (!centred_) {
        centred_ = true;
        QWidget* outer = window();
        if (const QScreen* s = outer->screen()) outer->move(s->availableGeometry().center() - outer->rect().center());
        StatusBar1->setFocus();
    }
    QWidget::showEvent(e);
}

void TForm1::StopCutterForExit() { cutterStop_.Request(); }

void TForm1::closeEvent(QCloseEvent* e)
{
    if (!closeApproved_) {
        bool canClose = true;
        FormCloseQuery(canClose);
        if (!canClose) {
            e->ignore();
            return;
        }
    }
    if (cutterRunning_) {
        // The cutter still writes into the run directory and its handler would carry on in a closing
        // window: the run is ended first, and the close comes back once the handler has unwound.
        closeApproved_ = true;
        cutterStop_.Request();
        e->ignore();
        return;
    }
    FormClose();
    if (logWindow_ != nullptr) logWindow_->hide();
    e->accept();
    if (captionFrame_) captionFrame_->FormClosed();
}

}  // namespace kestrine::ui
