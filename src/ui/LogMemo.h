#pragma once
#include "core/LogText.h"

#include <QPlainTextEdit>
#include <QTimer>

namespace kestrine::ui {

// The LOG text: read-only, monospace, plain text that only ever grows at its end (or is cleared).
// Appending costs time for the new text only; the document is never rewritten. Chunks are gathered
// and go into the document once per turn of the event loop (or when the text is read), because each
// insertion into the display costs time for the whole layout. Line breaks may be "\n", "\r\n" or a
// lone "\r", also when a pair is split between two chunks.
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

    // Puts the gathered text into the document now.
    void Flush();

private:
    void Gather(const QString& text);
    bool EndsWithLineBreak() const;

    QString pending_;  // text appended since the last flush
    QTimer flushTimer_;

    bool pendingCarriageReturn_ = false;  // a chunk ended in '\r'; a '\n' opening the next belongs to it
};

}  // namespace kestrine::ui
