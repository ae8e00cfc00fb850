#pragma once
#include "core/LogText.h"

#include <QPlainTextEdit>

namespace kestrine::ui {

// The LOG text: read-only, monospace, plain text that only ever grows at its end (or is cleared).
// Appending costs time for the new text only; the document is never rewritten. Line breaks may be
// "\n", "\r\n" or a lone "\r", also when a pair is split between two chunks.
class TLogMemo : public QPlainTextEdit, public core::LogText {
    Q_OBJECT
public:
    explicit TLogMemo(QWidget* parent = nullptr);

    void AppendText(const QString& chunk) override;
    void AppendLine(const QString& line) override;
    QStringList Lines() const override;
    void Clear() override;

    // The number of lines Lines() would give, without building them.
    int LineCount() const;

private:
    void InsertAtEnd(const QString& text);
    bool EndsWithLineBreak() const;

    bool pendingCarriageReturn_ = false;  // a chunk ended in '\r'; a '\n' opening the next belongs to it
};

}  // namespace kestrine::ui
