#include "core/Utf8StreamDecoder.h"

namespace kestrine::core {

namespace {

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the sequence a lead byte announces; 0 for a byte that cannot lead.
std::size_t SequenceLength(unsigned char c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

// Where the incomplete sequence at the end of `bytes` starts; bytes.size() when the text
// ends on a character boundary (or on bytes that are invalid whatever follows them).
std::size_t IncompleteTailStart(std::string_view bytes)
{
    const std::size_t size = bytes.size();
    // A sequence is at most four bytes, so its lead lies among the last three.
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(bytes[size - back]);
        if (IsContinuation(c))
            continue;
        const std::size_t length = SequenceLength(c);
        return length > back ? size - back : size;
    }
    return size;
}

}  // namespace

QString Utf8StreamDecoder::Decode(std::string_view bytes)
{
    std::string joined;
    std::string_view text = bytes;
    if (!pending_.empty()) {
        joined = pending_;
        joined.append(bytes);
        pending_.clear();
        text = joined;
    }
    const std::size_t cut = IncompleteTailStart(text);
    pending_.assign(text.substr(cut));
    // Each call decodes whole characters only: the library's own decoder is used without
    // carried state, which it mishandles when an invalid byte follows a split sequence.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(cut));
}

QString Utf8StreamDecoder::Finish()
{
    const QString rest = QString::fromUtf8(pending_.data(), static_cast<qsizetype>(pending_.size()));
    pending_.clear();
    return rest;
}

}  // namespace kestrine::core
