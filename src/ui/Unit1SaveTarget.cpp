// Where Save may write: never over the source being edited or into the working folder, and only after
// asking over another existing file; and the copy itself, saying why it failed.
#include "ui/Unit1.h"

#include "platform/DialogSeam.h"
#include "platform/FileOps.h"
#include "platform/QtPathNames.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace kestrine::ui {

std::optional<std::string> TForm1::ChooseSaveTarget(const std::string& result)
{
    const std::string workingFolder = platform::FromQtPath(QFileInfo(platform::ToQtPath(result)).absolutePath());
    // The dialog starts beside the source being cut, with the name chosen last.
    if (!OpenDialog1.FileName.empty()) {
        const QFileInfo source(platform::ToQtPath(OpenDialog1.FileName));
        SaveDialog1.InitialDir = platform::FromQtPath(source.absolutePath());
        SaveDialog1.FileName = platform::FromQtPath(QFileInfo(platform::ToQtPath(SaveDialog1.FileName)).fileName());
    }
    for (;;) {
        if (!SaveDialog1.Execute()) return std::nullopt;
        const std::string target = SaveDialog1.FileName;
        const std::string folder = platform::FromQtPath(QFileInfo(platform::ToQtPath(target)).absolutePath());
        platform::MessageRequest request;
        request.owner = this;
        request.title = QStringLiteral("Save");
        request.icon = platform::MessageIcon::Warning;
        // Replacing the source would destroy the recording being cut; a file in the working folder is
        // deleted at close, and the chain's own files are overwritten by later Records.
        if (platform::SameFile(target, OpenDialog1.FileName)) {
            request.text = QStringLiteral("%1 is the source being edited: saving over it would destroy the "
                                          "original recording. Choose another name.").arg(platform::ToQtPath(target));
        } else if (platform::SameFile(folder, workingFolder)) {
            request.text = QStringLiteral("%1 lies in the editor's working folder, which is emptied when the "
                                          "editor closes. Choose another folder.").arg(platform::ToQtPath(target));
        } else if (platform::FileExists(target)) {
            request.text = QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(platform::ToQtPath(target));
            request.buttons = platform::MessageButtons::YesNo;
            if (platform::ShowMessage(request) == platform::ModalResult::Yes) return target;
            continue;
        } else {
            return target;
        }
        platform::ShowMessage(request);
    }
}

bool TForm1::CopyResultTo(const std::string& result, const std::string& target)
{
    errno = 0;
    if (platform::CopyFile(result, target, false)) return true;
    const int error = errno;
    QString reason;
    if (!platform::FileExists(result))
        reason = QStringLiteral("the current result %1 is missing").arg(platform::ToQtPath(result));
    else if (QFileInfo(platform::ToQtPath(target)).isDir())
        reason = QStringLiteral("that is a folder");
    else if (error != 0)
        reason = QString::fromLocal8Bit(std::strerror(error));
    else
        reason = QStringLiteral("the copy did not complete");
    platform::MessageRequest request;
    request.owner = this;
    request.title = QStringLiteral("Save");
    request.text = QStringLiteral("The movie was not saved to %1: %2.").arg(platform::ToQtPath(target), reason);
    request.icon = platform::MessageIcon::Error;
    platform::ShowMessage(request);
    return false;
}

}  // namespace kestrine::ui
