#include "platform/graph/SourceOpeners.h"

#include "platform/graph/AsfSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kestrine::platform {
namespace {

struct OpenerTable {
    std::mutex mutex;
    std::vector<std::pair<std::string, SourceOpener>> openers;  // newest first
    OpenerTable() { openers.emplace_back("asf", &OpenAsfSource); }
    static OpenerTable& Instance()
    {
        static OpenerTable table;
        return table;
    }
};

// {75B22630-668E-11CF-A6D9-00AA0062CE6C} as it lies in a file (little-endian fields).
constexpr unsigned char kAsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

}  // namespace

void RegisterSourceOpener(const std::string& name, SourceOpener opener)
{
    auto& t = OpenerTable::Instance();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.openers, [&](const auto& e) { return e.first == name; });
    t.openers.insert(t.openers.begin(), {name, std::move(opener)});
}

void UnregisterSourceOpener(const std::string& name)
{
    auto& t = OpenerTable::Instance();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.openers, [&](const auto& e) { return e.first == name; });
}

bool LooksLikeAsf(const unsigned char* bytes, std::size_t size)
{
    return bytes != nullptr && size >= sizeof kAsfHeader && std::memcmp(bytes, kAsfHeader, sizeof kAsfHeader) == 0;
}

HRESULT OpenSourceForFile(const std::string& utf8Path, ComPtr<IBaseFilter>* source)
{
    if (source == nullptr) return E_POINTER;
    source->Reset();
    if (utf8Path.empty()) return HR_FILE_NOT_FOUND;

    struct stat info {};
    if (::stat(utf8Path.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            // Tell a missing folder from a missing file: the user fixes them differently.
            const auto slash = utf8Path.rfind('/');
            struct stat dir {};
            if (slash != std::string::npos && slash > 0 && ::stat(utf8Path.substr(0, slash).c_str(), &dir) != 0) return HR_PATH_NOT_FOUND;
            return HR_FILE_NOT_FOUND;
        }
        if (errno == ENOTDIR) return HR_PATH_NOT_FOUND;
        return E_ACCESSDENIED;
    }
    if (!S_ISREG(info.st_mode)) return E_ACCESSDENIED;

    unsigned char head[16] = {};
    ssize_t got = 0;
    {
        const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return E_ACCESSDENIED;
        got = ::read(fd, head, sizeof head);
        ::close(fd);
    }
    if (got < 0) return HR_READ_FAULT;
    if (got == 0) return VFW_E_FILE_TOO_SHORT;

    std::vector<SourceOpener> openers;
    {
        auto& t = OpenerTable::Instance();
        std::lock_guard lock(t.mutex);
        for (const auto& e : t.openers) openers.push_back(e.second);
    }
    for (const SourceOpener& open : openers) {
        const HRESULT hr = open(utf8Path, source);
        if (hr != VFW_E_UNKNOWN_FILE_TYPE) return hr;
        source->Reset();
    }
    return LooksLikeAsf(head, static_cast<std::size_t>(got)) ? VFW_E_CANNOT_LOAD_SOURCE_FILTER : VFW_E_UNKNOWN_FILE_TYPE;
}

}  // namespace kestrine::platform
