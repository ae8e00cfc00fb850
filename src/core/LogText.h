#pragma once
#include <QString>
#include <QStringList>

namespace kestrine::core {

// The LOG window's text as the cutter runner writes it and the keyframe query reads it.
// The window implements it; tests use a plain in-memory one.
class LogText {
public:
    virtual ~LogText() = default;
    // Appends at the very end of the text, with no separator (a chunk of a child's output).
    virtual void AppendText(const QString& chunk) = 0;
    // Appends one line: the text starts on a new line after what is there.
    virtual void AppendLine(const QString& line) = 0;
    // The text's lines as the writer produced them (not as a display wraps them).
    virtual QStringList Lines() const = 0;
    virtual void Clear() = 0;
};

}  // namespace kestrine::core
