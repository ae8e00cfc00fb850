#pragma once
// Registration of a graph in the running object table, where inspection tools in the process find it.
#include "platform/com/Unknown.h"

#include <string>

namespace kestrine::media {

// "FilterGraph <address> pid <process id>", both in upper-case hexadecimal, the address padded to
// the width of a pointer.
std::string GraphInspectionName(const void* graph, unsigned processId);

// Registers graph under GraphInspectionName(graph, this process). Gives the last result obtained; the
// cookie is set only when the registration itself succeeded (0 otherwise).
platform::HRESULT RegisterGraphForInspection(platform::IUnknown* graph, platform::DWORD* cookie);
void RevokeGraphRegistration(platform::DWORD cookie);

}  // namespace kestrine::media
