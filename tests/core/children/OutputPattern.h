#pragma once
#include <cstddef>
#include <string>

// The bytes the test child prints for "bytes N": letters that never repeat with a short
// period, broken into lines, so a lost, doubled or reordered chunk shows.
namespace kestrine::test {

inline char PatternByte(std::size_t i)
{
    if (i % 73 == 72)
        return '\n';
    return static_cast<char>('A' + (i * 7 + i / 73) % 26);
}

inline std::string PatternText(std::size_t n)
{
    std::string text(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        text[i] = PatternByte(i);
    return text;
}

}  // namespace kestrine::test
