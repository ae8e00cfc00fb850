#pragma once
#include <string>

namespace kestrine::platform {

// Linux has no short (8.3) aliases: every path already is its own short form. Callers keep calling
// this where a short form was wanted, so the place stays visible should another platform need it.
inline std::string ShortPathName(const std::string& path) { return path; }

}  // namespace kestrine::platform
