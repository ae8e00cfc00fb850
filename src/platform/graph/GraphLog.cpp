#include "platform/graph/GraphLog.h"

#include "platform/com/ErrorText.h"

#include <cerrno>
#include <unistd.h>

namespace kestrine::platform {

void GraphLog::SetDescriptor(int fd)
{
    std::lock_guard lock(mutex_);
    fd_ = fd > 0 ? fd : 0;
}

void GraphLog::Write(const std::string& operation, HRESULT result) { WriteLine(operation + ": " + HResultName(result)); }

void GraphLog::WriteLine(const std::string& line)
{
    std::lock_guard lock(mutex_);
    if (fd_ <= 0) return;
    std::string text = line;
    text += '\n';
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a log that cannot be written must not disturb playback
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace kestrine::platform
