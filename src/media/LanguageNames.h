#pragma once
// English names of languages by locale identifier, as DVD streams report their language.
#include "platform/graph/GraphInterfaces.h"

#include <string>

namespace kestrine::media {

using platform::LCID;
using LCTYPE = platform::DWORD;

inline constexpr LCTYPE LOCALE_SENGLANGUAGE = 0x00001001;

// The English name of the language of a locale ("German" for 0x0407), or "" when it is not known.
// Only the language counts, not the country: 0x0807 is "German" too.
std::string EnglishLanguageName(LCID locale);

// Locale information in the platform's form: for LOCALE_SENGLANGUAGE, copies the name with its
// terminating zero into buffer and gives the characters written including the zero; 0 when the
// locale or the kind of information is unknown or the buffer is too small (buffer then holds "").
int GetLocaleInfoA(LCID locale, LCTYPE type, char* buffer, int size);

}  // namespace kestrine::media
