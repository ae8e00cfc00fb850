#pragma once
// The open log file a filter graph component hands its graph manager: created empty, closed with the object.
#include <memory>
#include <string>

namespace kestrine::media {

class GraphLogFile {
public:
    // Creates the file anew (any content discarded); nothing when it cannot be created.
    static std::unique_ptr<GraphLogFile> Create(const std::string& path);
    ~GraphLogFile();
    GraphLogFile(const GraphLogFile&) = delete;
    GraphLogFile& operator=(const GraphLogFile&) = delete;

    // Never 0, which graphs read as "no log".
    int Descriptor() const { return fd_; }

private:
    explicit GraphLogFile(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace kestrine::media
