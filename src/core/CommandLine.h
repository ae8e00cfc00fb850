#pragma once
#include <string>
#include <vector>

namespace kestrine::core {

// The editor hands the cutter one line of text and the runner splits it back into the
// program's arguments itself; no shell ever sees it. The two functions below are exact
// inverses: SplitCommandLine(Quote(a) + " " + Quote(b)) == {a, b} for every byte string,
// including blanks, quotes, backslashes, "$(...)", back-quotes, newlines, a leading '-',
// bytes that are not UTF-8 and the empty string.
//
// Rules of a command line:
// - Words are separated by runs of blanks (space, tab, carriage return, line feed).
// - A double quote opens a quoted section that runs to the next unescaped double quote;
//   inside it every byte stands for itself, except that \" stands for " and \\ for \.
// - Outside quotes every byte other than a blank or a double quote stands for itself
//   (a backslash too), and quoted and unquoted pieces that touch form one word.
// - "" is an empty word. A quote left open runs to the end of the line.

// The path as one quoted word: always quoted, even when it needs no quotes.
std::string Quote(const std::string& path);

std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace kestrine::core
