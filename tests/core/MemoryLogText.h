#pragma once
#include <QString>
#include <QStringList>

#include "core/LogText.h"

namespace kestrine::test {

// The LOG's text kept in memory, with a record of how it was written.
class MemoryLogText final : public core::LogText {
public:
    void AppendText(const QString& chunk) override
    {
        text_ += chunk;
        chunks_.push_back(chunk);
    }
    void AppendLine(const QString& line) override
    {
        if (!text_.isEmpty() && !text_.endsWith(QLatin1Char('\n')))
            text_ += QLatin1Char('\n');
        text_ += line;
        lines_.push_back(line);
    }
    QStringList Lines() const override
    {
        if (text_.isEmpty())
            return {};
        return text_.split(QLatin1Char('\n'));
    }
    void Clear() override
    {
        text_.clear();
        chunks_.clear();
        lines_.clear();
    }

    const QString& Text() const { return text_; }
    const QStringList& Chunks() const { return chunks_; }         // every AppendText, in order
    const QStringList& AppendedLines() const { return lines_; }  // every AppendLine, in order

private:
    QString text_;
    QStringList chunks_;
    QStringList lines_;
};

}  // namespace kestrine::test
