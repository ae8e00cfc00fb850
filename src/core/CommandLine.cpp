#include "core/CommandLine.h"

namespace kestrine::core {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string Quote(const std::string& path)
{
    std::string quoted;
    quoted.reserve(path.size() + 2);
    quoted += '"';
    for (const char c : path) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::vector<std::string> SplitCommandLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // a word has begun, possibly with an empty quoted piece
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (IsBlank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++i;
            continue;
        }
        inWord = true;
        if (c != '"') {
            word += c;
            ++i;
            continue;
        }
        // Quoted section.
        ++i;
        while (i < line.size() && line[i] != '"') {
            if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
                ++i;
            word += line[i];
            ++i;
        }
        if (i < line.size())
            ++i;  // the closing quote
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

}  // namespace kestrine::core
