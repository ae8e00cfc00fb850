#pragma once
#include "platform/DialogSeam.h"

#include <QStringList>

namespace kestrine::platform {

// The seam's real side: Qt's file dialogs, QMessageBox and QDialog::exec.
class QtDialogs final : public DialogHandler {
public:
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    ModalResult Message(const MessageRequest& request) override;
    int ShowModal(QDialog& dialog) override;
};

// "ASF files (*.asf; *.wmv)|*.asf;*.wmv" becomes Qt's name filters, one per pair, with the patterns
// Qt reads from the last parenthesis: "ASF files (*.asf; *.wmv) (*.asf *.wmv)".
QStringList QtNameFilters(const std::string& filter);

}  // namespace kestrine::platform
