#pragma once
#include "platform/DialogSeam.h"

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kestrine::platform {

// A scripted stand-in for the user at the dialogs, for tests. Install it with ScopedDialogHandler
// (or construct it with install = true); every request is recorded, and each is answered from the
// queue of its kind. An empty queue answers as a user pressing Cancel (or the close box) would.
class DialogAnswerer final : public DialogHandler {
public:
    enum class Kind { OpenFile, SaveFile, Message, Modal };

    struct Call {
        Kind kind;
        FileDialogRequest file;    // OpenFile, SaveFile
        MessageRequest message;    // Message
        QString windowTitle;       // Modal: the dialog's title
        QString windowClass;       // Modal: the dialog's class name
        QString objectName;        // Modal
    };

    DialogAnswerer() = default;

    // Answers for the next file dialogs: a path, or nothing for Cancel.
    void AnswerFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    void AnswerMessage(ModalResult result) { messages_.push_back(result); }
    // Modal windows: the result to give, and what to do with the dialog while it is "open".
    void AnswerModal(int result, std::function<void(QDialog&)> whileOpen = {})
    {
        modals_.push_back({result, std::move(whileOpen)});
    }

    const std::vector<Call>& Calls() const { return calls_; }
    std::size_t Count(Kind kind) const;
    const Call* Last(Kind kind) const;
    void ClearCalls() { calls_.clear(); }

    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    ModalResult Message(const MessageRequest& request) override;
    int ShowModal(QDialog& dialog) override;

private:
    struct ModalAnswer {
        int result;
        std::function<void(QDialog&)> whileOpen;
    };
    std::optional<std::string> NextFile();

    std::vector<Call> calls_;
    std::deque<std::optional<std::string>> files_;
    std::deque<ModalResult> messages_;
    std::deque<ModalAnswer> modals_;
};

// Answers and records in one go: installs itself for its lifetime.
class InstalledDialogAnswerer {
public:
    InstalledDialogAnswerer() : scope_(answerer) {}
    DialogAnswerer answerer;
    DialogAnswerer* operator->() { return &answerer; }

private:
    ScopedDialogHandler scope_;
};

}  // namespace kestrine::platform
