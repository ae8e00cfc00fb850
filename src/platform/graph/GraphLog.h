#pragma once
// The graph's log: one readable line per graph operation, written to a file descriptor the caller owns.
#include "platform/com/HResult.h"

#include <mutex>
#include <string>

namespace kestrine::platform {

class GraphLog {
public:
    void SetDescriptor(int fd);  // 0 (or negative): no log
    // "<operation>: <result name>" on one line.
    void Write(const std::string& operation, HRESULT result);
    void WriteLine(const std::string& line);

private:
    std::mutex mutex_;
    int fd_ = 0;
};

}  // namespace kestrine::platform
