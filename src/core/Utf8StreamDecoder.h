#pragma once
#include <QString>
#include <string>
#include <string_view>

namespace kestrine::core {

// Decodes UTF-8 that arrives in pieces. A character split between two pieces comes out
// whole with the second; bytes that are not UTF-8 come out as replacement characters,
// and nothing that follows them is lost. Finish() turns a sequence left incomplete at
// the end of the stream into replacement characters.
class Utf8StreamDecoder {
public:
    QString Decode(std::string_view bytes);
    QString Finish();

private:
    std::string pending_;  // the start of a character whose remaining bytes have not come yet
};

}  // namespace kestrine::core
