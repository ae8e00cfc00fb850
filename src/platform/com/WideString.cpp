#include "platform/com/WideString.h"

#include "asf/Text.h"

#include <algorithm>

namespace kestrine::platform {

std::size_t WideLength(LPCWSTR text)
{
    if (text == nullptr) return 0;
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

namespace {

// Bytes that are not UTF-8 (a file name from a Latin-1 disk, say) travel as the lone low surrogates
// U+DC80..U+DCFF, one per byte, and come back as the same bytes: a path handed through the wide
// interfaces still names the same file.
constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// The length of the well-formed UTF-8 sequence at `at` and its code point; 0 when the bytes there
// are not one (a stray continuation, an overlong form, a surrogate, past U+10FFFF, cut short).
std::size_t DecodeOne(std::string_view text, std::size_t at, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t extra = 0;
    char32_t lowest = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F;
        extra = 1;
        lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F;
        extra = 2;
        lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07;
        extra = 3;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + extra >= text.size()) return 0;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return extra + 1;
}

}  // namespace

WideString ToWide(std::string_view utf8)
{
    WideString out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        const std::size_t length = DecodeOne(utf8, i, cp);
        if (length == 0) {
            out.push_back(static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(utf8[i])));
            ++i;
            continue;
        }
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string ToUtf8(std::u16string_view wide)
{
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (IsEscapedByte(wide[i])) {
            out.push_back(static_cast<char>(wide[i] - kEscapedByteBase));
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        asf::AppendUtf8(out, cp);
    }
    return out;
}

void CopyWide(std::u16string_view text, WCHAR* out, std::size_t capacity)
{
    if (out == nullptr || capacity == 0) return;
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), n, out);
    out[n] = 0;
}

}  // namespace kestrine::platform
