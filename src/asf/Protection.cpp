#include "asf/Protection.h"

#include "asf/KnownGuids.h"

namespace kestrine::asf {

std::optional<std::string> ProtectionOf(const Header& header)
{
    for (const RawObject& o : header.objects) {
        if (o.id == guids::kContentEncryption) return "Content Encryption Object";
        if (o.id == guids::kExtendedContentEncryption) return "Extended Content Encryption Object";
    }
    for (const RawObject& o : header.extension.objects)
        if (o.id == guids::kAdvancedContentEncryption) return "Advanced Content Encryption Object";
    for (const StreamProperties& s : header.streams)
        if (s.Encrypted()) return "stream " + std::to_string(s.number) + " is encrypted";
    return std::nullopt;
}

}  // namespace kestrine::asf
