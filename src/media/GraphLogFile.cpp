#include "media/GraphLogFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace kestrine::media {

std::unique_ptr<GraphLogFile> GraphLogFile::Create(const std::string& path)
{
    if (path.empty()) return nullptr;
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    if (fd == 0) {
        // With standard input closed the file can land on descriptor 0, which means "no log" to a graph.
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        if (moved < 0) return nullptr;
        fd = moved;
    }
    return std::unique_ptr<GraphLogFile>(new GraphLogFile(fd));
}

GraphLogFile::~GraphLogFile() { ::close(fd_); }

}  // namespace kestrine::media
