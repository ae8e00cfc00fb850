// libFuzzer target for the quoting and splitting of the cutter's command line: for any byte
// strings, splitting the quoted words joined by any run of blanks gives back exactly those
// words; splitting an arbitrary line never fails, and quoting its words again reproduces them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/CommandLine.h"

namespace {

std::string Blanks(FuzzedDataProvider& in)
{
    static const char kBlanks[] = {' ', '\t', '\r', '\n'};
    std::string s(1, kBlanks[in.ConsumeIntegralInRange<int>(0, 3)]);
    while (in.remaining_bytes() > 0 && in.ConsumeBool()) s += kBlanks[in.ConsumeIntegralInRange<int>(0, 3)];
    return s;
}

std::string Join(const std::vector<std::string>& words, FuzzedDataProvider* separators)
{
    std::string line;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) line += separators ? Blanks(*separators) : std::string(" ");
        line += kestrine::core::Quote(words[i]);
    }
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The whole input as one line of text.
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> split = kestrine::core::SplitCommandLine(line);
    if (kestrine::core::SplitCommandLine(Join(split, nullptr)) != split) std::abort();

    // The input as a list of words with blank runs between them.
    FuzzedDataProvider in(data, size);
    std::vector<std::string> words;
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t i = 0; i < count; ++i) words.push_back(in.ConsumeRandomLengthString(256));
    std::string joined = Join(words, &in);
    if (in.ConsumeBool()) joined = Blanks(in) + joined + Blanks(in);
    if (kestrine::core::SplitCommandLine(joined) != words) std::abort();
    for (const std::string& w : words)
        if (kestrine::core::SplitCommandLine(kestrine::core::Quote(w)) != std::vector<std::string>{w}) std::abort();
    return 0;
}
