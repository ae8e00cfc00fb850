#include "media/LanguageNames.h"

#include <cstring>

namespace kestrine::media {
namespace {

struct Language {
    platform::WORD primary;
    const char* name;
};

// Primary language identifiers (the low 10 bits of a language identifier) and their English names.
constexpr Language kLanguages[] = {
    {0x01, "Arabic"},     {0x02, "Bulgarian"},   {0x03, "Catalan"},      {0x04, "Chinese"},     {0x05, "Czech"},
    {0x06, "Danish"},     {0x07, "German"},      {0x08, "Greek"},        {0x09, "English"},     {0x0A, "Spanish"},
    {0x0B, "Finnish"},    {0x0C, "French"},      {0x0D, "Hebrew"},       {0x0E, "Hungarian"},   {0x0F, "Icelandic"},
    {0x10, "Italian"},    {0x11, "Japanese"},    {0x12, "Korean"},       {0x13, "Dutch"},       {0x14, "Norwegian"},
    {0x15, "Polish"},     {0x16, "Portuguese"},  {0x17, "Romansh"},      {0x18, "Romanian"},    {0x19, "Russian"},
    {0x1A, "Croatian"},   {0x1B, "Slovak"},      {0x1C, "Albanian"},     {0x1D, "Swedish"},     {0x1E, "Thai"},
    {0x1F, "Turkish"},    {0x20, "Urdu"},        {0x21, "Indonesian"},   {0x22, "Ukrainian"},   {0x23, "Belarusian"},
    {0x24, "Slovenian"},  {0x25, "Estonian"},    {0x26, "Latvian"},      {0x27, "Lithuanian"},  {0x28, "Tajik"},
    {0x29, "Persian"},    {0x2A, "Vietnamese"},  {0x2B, "Armenian"},     {0x2C, "Azerbaijani"}, {0x2D, "Basque"},
    {0x2E, "Upper Sorbian"}, {0x2F, "Macedonian"}, {0x32, "Setswana"},   {0x34, "isiXhosa"},    {0x35, "isiZulu"},
    {0x36, "Afrikaans"},  {0x37, "Georgian"},    {0x38, "Faroese"},      {0x39, "Hindi"},       {0x3A, "Maltese"},
    {0x3B, "Sami"},       {0x3C, "Irish"},       {0x3E, "Malay"},        {0x3F, "Kazakh"},      {0x40, "Kyrgyz"},
    {0x41, "Kiswahili"},  {0x42, "Turkmen"},     {0x43, "Uzbek"},        {0x44, "Tatar"},       {0x45, "Bengali"},
    {0x46, "Punjabi"},    {0x47, "Gujarati"},    {0x48, "Odia"},         {0x49, "Tamil"},       {0x4A, "Telugu"},
    {0x4B, "Kannada"},    {0x4C, "Malayalam"},   {0x4D, "Assamese"},     {0x4E, "Marathi"},     {0x4F, "Sanskrit"},
    {0x50, "Mongolian"},  {0x51, "Tibetan"},     {0x52, "Welsh"},        {0x53, "Khmer"},       {0x54, "Lao"},
    {0x56, "Galician"},   {0x57, "Konkani"},     {0x5A, "Syriac"},       {0x5B, "Sinhala"},     {0x5D, "Inuktitut"},
    {0x5E, "Amharic"},    {0x5F, "Tamazight"},   {0x61, "Nepali"},       {0x62, "Frisian"},     {0x63, "Pashto"},
    {0x64, "Filipino"},   {0x65, "Divehi"},      {0x68, "Hausa"},        {0x6A, "Yoruba"},      {0x6B, "Quechua"},
    {0x6C, "Sesotho sa Leboa"}, {0x6D, "Bashkir"}, {0x6E, "Luxembourgish"}, {0x6F, "Greenlandic"}, {0x70, "Igbo"},
    {0x78, "Yi"},         {0x7A, "Mapudungun"},  {0x7C, "Mohawk"},       {0x7E, "Breton"},      {0x80, "Uyghur"},
    {0x81, "Maori"},      {0x82, "Occitan"},     {0x83, "Corsican"},     {0x84, "Alsatian"},    {0x85, "Sakha"},
    {0x86, "K'iche'"},    {0x87, "Kinyarwanda"}, {0x88, "Wolof"},        {0x8C, "Dari"},        {0x91, "Scottish Gaelic"},
};

}  // namespace

std::string EnglishLanguageName(LCID locale)
{
    const auto languageId = static_cast<platform::WORD>(locale & 0xFFFF);
    const auto primary = static_cast<platform::WORD>(languageId & 0x3FF);
    const auto sub = static_cast<platform::WORD>(languageId >> 10);
    if (primary == 0x1A) {
        // One primary identifier covers three languages; the sublanguage tells them apart.
        switch (sub) {
        case 0x02: case 0x03: case 0x06: case 0x07: case 0x09: case 0x0A: case 0x0B: case 0x0C: return "Serbian";
        case 0x05: case 0x08: return "Bosnian";
        default: return "Croatian";
        }
    }
    for (const Language& l : kLanguages) {
        if (l.primary == primary) return l.name;
    }
    return {};
}

int GetLocaleInfoA(LCID locale, LCTYPE type, char* buffer, int size)
{
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    if (type != LOCALE_SENGLANGUAGE) return 0;
    const std::string name = EnglishLanguageName(locale);
    if (name.empty()) return 0;
    const int needed = static_cast<int>(name.size()) + 1;
    if (buffer == nullptr || size == 0) return needed;  // asking how much room is needed
    if (size < needed) return 0;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return needed;
}

}  // namespace kestrine::media
