#include "platform/DialogSeam.h"

#include "platform/QtDialogs.h"

namespace kestrine::platform {

namespace {

DialogHandler& RealDialogs()
{
    static QtDialogs real;
    return real;
}

// The seam itself: which handler answers. Only tests change it, through ScopedDialogHandler.
DialogHandler* installed = nullptr;

}  // namespace

DialogHandler& Dialogs() { return installed != nullptr ? *installed : RealDialogs(); }

ScopedDialogHandler::ScopedDialogHandler(DialogHandler& handler) : previous_(installed) { installed = &handler; }

ScopedDialogHandler::~ScopedDialogHandler() { installed = previous_; }

ModalResult ShowMessage(const MessageRequest& request) { return Dialogs().Message(request); }

void ShowErrorMessage(const QString& text, QWidget* owner)
{
    MessageRequest request;
    request.owner = owner;
    request.text = text;
    request.title = QString::fromLatin1(ApplicationTitle);
    request.buttons = MessageButtons::Ok;
    request.icon = MessageIcon::Error;
    Dialogs().Message(request);
}

}  // namespace kestrine::platform
