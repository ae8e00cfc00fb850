#pragma once
// The filters the graph may put between a source pin and a renderer, asked in registration order.
#include "platform/graph/FilterInterfaces.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrine::platform {

// Gives a new decoder for streams of the type, or nothing when it does not decode it.
using DecoderFactory = std::function<ComPtr<IBaseFilter>(const AM_MEDIA_TYPE& input)>;

void RegisterDecoder(const std::string& name, DecoderFactory factory);
void UnregisterDecoder(const std::string& name);
// Every decoder that takes the type, best first.
std::vector<ComPtr<IBaseFilter>> CreateDecodersFor(const AM_MEDIA_TYPE& input);

}  // namespace kestrine::platform
