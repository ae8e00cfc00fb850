#pragma once
// The one exception the ASF engine throws for input it cannot accept.
// what() is a short sentence fragment meant to follow "Error: <file>: ".
#include <stdexcept>
#include <string>

namespace kestrine::asf {

class FormatError : public std::runtime_error {
public:
    explicit FormatError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace kestrine::asf
