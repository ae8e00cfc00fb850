#pragma once
#include <QString>
#include <optional>
#include <string>

class QDialog;
class QWidget;

namespace kestrine::platform {

// Modal results, numbered as the toolkit's message-box answers.
enum class ModalResult : int { None = 0, Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageIcon { None, Information, Warning, Error, Question };

// What a file dialog is asked to show. The filter is in pairs "description|patterns|description|patterns",
// patterns separated by ';'.
struct FileDialogRequest {
    QWidget* owner = nullptr;
    QString title;
    std::string filter;
    std::string defaultExt;
    std::string fileName;
    std::string initialDir;
};

struct MessageRequest {
    QWidget* owner = nullptr;
    QString text;
    QString title;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

// Every modal dialog and message box of the editor goes through this one seam, so tests can answer
// them without a person at the screen and see what was asked.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> OpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFile(const FileDialogRequest& request) = 0;
    virtual ModalResult Message(const MessageRequest& request) = 0;
    // Runs a modal window (such as the missing-cutter warning) and gives its modal result.
    virtual int ShowModal(QDialog& dialog) = 0;
};

// The handler in use: the real Qt dialogs unless a test installed its own.
DialogHandler& Dialogs();

// Installs a handler for its lifetime and puts the previous one back afterwards.
class ScopedDialogHandler {
public:
    explicit ScopedDialogHandler(DialogHandler& handler);
    ~ScopedDialogHandler();
    ScopedDialogHandler(const ScopedDialogHandler&) = delete;
    ScopedDialogHandler& operator=(const ScopedDialogHandler&) = delete;

private:
    DialogHandler* previous_;
};

// Shorthands over Dialogs().
ModalResult ShowMessage(const MessageRequest& request);
// The toolkit's standard error box: the application's title, an error icon, one OK button.
void ShowErrorMessage(const QString& text, QWidget* owner = nullptr);

// Title of the standard error box and of other application-owned boxes.
inline constexpr const char* ApplicationTitle = "KESTRINE";

}  // namespace kestrine::platform
