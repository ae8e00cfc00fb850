#pragma once
// How RenderFile finds a source filter for a file: the file is checked for existence and
// readability, then each opener is asked in turn; an opener that does not know the file answers
// VFW_E_UNKNOWN_FILE_TYPE and the next one is asked.
#include "platform/graph/FilterInterfaces.h"

#include <functional>
#include <string>

namespace kestrine::platform {

using SourceOpener = std::function<HRESULT(const std::string& utf8Path, ComPtr<IBaseFilter>* source)>;

// Adds an opener (asked before the ones added earlier), replacing one of the same name.
void RegisterSourceOpener(const std::string& name, SourceOpener opener);
void UnregisterSourceOpener(const std::string& name);

// HR_FILE_NOT_FOUND / HR_PATH_NOT_FOUND for a missing file, E_ACCESSDENIED for one that cannot be
// read, VFW_E_FILE_TOO_SHORT for an empty one, VFW_E_UNKNOWN_FILE_TYPE when no opener knows it
// (VFW_E_CANNOT_LOAD_SOURCE_FILTER when it is ASF but no ASF reader is present), or the opener's result.
HRESULT OpenSourceForFile(const std::string& utf8Path, ComPtr<IBaseFilter>* source);

// Whether the bytes begin with the ASF header object's identifier.
bool LooksLikeAsf(const unsigned char* bytes, std::size_t size);

}  // namespace kestrine::platform
