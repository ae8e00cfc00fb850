#include "platform/graph/DecoderCatalog.h"

#include "platform/graph/FfmpegDecoder.h"

#include <mutex>
#include <utility>

namespace kestrine::platform {
namespace {

struct DecoderTable {
    std::mutex mutex;
    std::vector<std::pair<std::string, DecoderFactory>> decoders;
    DecoderTable() { decoders.emplace_back("ffmpeg", &FfmpegDecoder::CreateFor); }
    static DecoderTable& Instance()
    {
        static DecoderTable table;
        return table;
    }
};

}  // namespace

void RegisterDecoder(const std::string& name, DecoderFactory factory)
{
    auto& t = DecoderTable::Instance();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.decoders, [&](const auto& e) { return e.first == name; });
    t.decoders.emplace_back(name, std::move(factory));
}

void UnregisterDecoder(const std::string& name)
{
    auto& t = DecoderTable::Instance();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.decoders, [&](const auto& e) { return e.first == name; });
}

std::vector<ComPtr<IBaseFilter>> CreateDecodersFor(const AM_MEDIA_TYPE& input)
{
    std::vector<DecoderFactory> factories;
    {
        auto& t = DecoderTable::Instance();
        std::lock_guard lock(t.mutex);
        for (const auto& e : t.decoders) factories.push_back(e.second);
    }
    std::vector<ComPtr<IBaseFilter>> out;
    for (const DecoderFactory& make : factories)
        if (ComPtr<IBaseFilter> decoder = make(input)) out.push_back(std::move(decoder));
    return out;
}

}  // namespace kestrine::platform
