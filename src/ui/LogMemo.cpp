#include "ui/LogMemo.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace kestrine::ui {

TLogMemo::TLogMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // Undo history would keep a second copy of every chunk for nothing: the text is never edited.
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    mono.setPixelSize(12);
    if (!QFontInfo(mono).fixedPitch()) {
        const int size = mono.pixelSize();
        mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(size);
    }
    setFont(mono);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, [this] { Flush(); });
}

void TLogMemo::Gather(const QString& text)
{
    if (text.isEmpty()) return;
    pending_ += text;
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void TLogMemo::Flush()
{
    flushTimer_.stop();
    if (pending_.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() == bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(pending_);
    pending_.clear();
    // Someone reading further up keeps their place; otherwise the newest output stays in view.
    if (followEnd) bar->setValue(bar->maximum());
}

bool TLogMemo::EndsWithLineBreak() const
{
    if (!pending_.isEmpty()) return pending_.back() == u'\n';
    // The document's last block is empty exactly when the text ends with a break (or is empty).
    return document()->lastBlock().length() <= 1;
}

void TLogMemo::AppendText(const QString& chunk)
{
    if (chunk.isEmpty()) return;
    QString text;
    text.reserve(chunk.size());
    qsizetype i = 0;
    if (pendingCarriageReturn_ && chunk.front() == u'\n') i = 1;  // the "\r\n" split over two chunks
    pendingCarriageReturn_ = false;
    for (; i < chunk.size(); ++i) {
        const QChar c = chunk[i];
        if (c == u'\r') {
            text += u'\n';
            if (i + 1 < chunk.size()) {
                if (chunk[i + 1] == u'\n') ++i;
            } else {
                pendingCarriageReturn_ = true;
            }
        } else {
            text += c;
        }
    }
    Gather(text);
}

void TLogMemo::AppendLine(const QString& line)
{
    pendingCarriageReturn_ = false;
    QString text;
    if (!EndsWithLineBreak()) text += u'\n';
    QString body = line;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\r', u'\n');
    text += body;
    text += u'\n';
    Gather(text);
}

QStringList TLogMemo::Lines() const
{
    const_cast<TLogMemo*>(this)->Flush();  // reading sees everything appended so far
    QStringList lines;
    const QTextDocument* doc = document();
    lines.reserve(doc->blockCount());
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
    // The empty block after a final break is where the next text goes, not a line of the log.
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

int TLogMemo::LineCount() const
{
    const_cast<TLogMemo*>(this)->Flush();
    const QTextDocument* doc = document();
    const int blocks = doc->blockCount();
    return doc->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

void TLogMemo::Clear()
{
    pendingCarriageReturn_ = false;
    pending_.clear();
    flushTimer_.stop();
    clear();
}

}  // namespace kestrine::ui
