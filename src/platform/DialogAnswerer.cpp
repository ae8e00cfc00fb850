#include "platform/DialogAnswerer.h"

#include <QDialog>
#include <QMetaObject>

namespace kestrine::platform {

std::size_t DialogAnswerer::Count(Kind kind) const
{
    std::size_t n = 0;
    for (const Call& c : calls_)
        if (c.kind == kind) ++n;
    return n;
}

const DialogAnswerer::Call* DialogAnswerer::Last(Kind kind) const
{
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
        if (it->kind == kind) return &*it;
    return nullptr;
}

std::optional<std::string> DialogAnswerer::NextFile()
{
    if (files_.empty()) return std::nullopt;
    auto answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

std::optional<std::string> DialogAnswerer::OpenFile(const FileDialogRequest& request)
{
    calls_.push_back({Kind::OpenFile, request, {}, {}, {}, {}});
    return NextFile();
}

std::optional<std::string> DialogAnswerer::SaveFile(const FileDialogRequest& request)
{
    calls_.push_back({Kind::SaveFile, request, {}, {}, {}, {}});
    return NextFile();
}

ModalResult DialogAnswerer::Message(const MessageRequest& request)
{
    calls_.push_back({Kind::Message, {}, request, {}, {}, {}});
    if (messages_.empty()) {
        // The close box: Cancel when the box has one, otherwise the box's only answer.
        switch (request.buttons) {
        case MessageButtons::Ok: return ModalResult::Ok;
        case MessageButtons::YesNo: return ModalResult::No;
        default: return ModalResult::Cancel;
        }
    }
    const ModalResult answer = messages_.front();
    messages_.pop_front();
    return answer;
}

int DialogAnswerer::ShowModal(QDialog& dialog)
{
    calls_.push_back({Kind::Modal, {}, {}, dialog.windowTitle(),
                      QString::fromLatin1(dialog.metaObject()->className()), dialog.objectName()});
    if (modals_.empty()) return static_cast<int>(ModalResult::Cancel);
    ModalAnswer answer = std::move(modals_.front());
    modals_.pop_front();
    if (answer.whileOpen) answer.whileOpen(dialog);
    return answer.result;
}

}  // namespace kestrine::platform
