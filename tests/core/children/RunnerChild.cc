// A small program the runner tests start as their child. The first argument picks what it
// does; see Usage(). Started under the name asfbin.exe it stands in for the cutter: it
// prints report.txt from its own directory when there is one, else its arguments.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <dirent.h>
#include <string>
#include <vector>

#include "OutputPattern.h"

namespace {

void WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::exit(3);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void Write(const std::string& text)
{
    WriteAll(STDOUT_FILENO, text.data(), text.size());
}

void SleepMs(long ms)
{
    ::usleep(static_cast<useconds_t>(ms * 1000));
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// One line per argument, hex-encoded, so every byte can be compared.
void EchoArguments(int argc, char** argv, int from)
{
    std::string text;
    for (int i = from; i < argc; ++i)
        text += "arg " + Hex(argv[i]) + "\n";
    Write(text);
}

bool Exists(const char* path)
{
    struct stat st {};
    return ::stat(path, &st) == 0;
}

void Touch(const char* path)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0)
        ::close(fd);
}

int Usage()
{
    std::fputs("usage: runner_child bytes N [WRITE_SIZE] | hex H [H...] | delay MS TEXT | argv ARG... |\n"
               "       wait-for FILE [THEN_BYTES DONE_FILE] | deaf | stdin | pipesize | fds | exit CODE\n",
               stderr);
    return 2;
}

int ActAsCutter(int argc, char** argv)
{
    std::string self = argv[0];
    const std::size_t slash = self.rfind('/');
    const std::string report = (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "report.txt";
    if (FILE* f = std::fopen(report.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            WriteAll(STDOUT_FILENO, buffer, n);
        std::fclose(f);
        return 0;
    }
    EchoArguments(argc, argv, 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string self = argv[0];
    const std::string cutterName = "asfbin.exe";
    if (self.size() >= cutterName.size() && self.compare(self.size() - cutterName.size(), cutterName.size(), cutterName) == 0)
        return ActAsCutter(argc, argv);
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];

    if (mode == "bytes" && argc >= 3) {
        const std::size_t n = std::strtoull(argv[2], nullptr, 10);
        const std::size_t writeSize = argc >= 4 ? std::strtoull(argv[3], nullptr, 10) : n;
        const std::string text = kestrine::test::PatternText(n);
        for (std::size_t at = 0; at < n; at += writeSize)
            WriteAll(STDOUT_FILENO, text.data() + at, std::min(writeSize, n - at));
        return 0;
    }
    if (mode == "hex") {
        // Each argument is one write, 150 ms apart, so the reader sees them separately.
        for (int i = 2; i < argc; ++i) {
            if (i > 2)
                SleepMs(150);
            Write(Unhex(argv[i]));
        }
        return 0;
    }
    if (mode == "delay" && argc >= 4) {
        SleepMs(std::strtol(argv[2], nullptr, 10));
        Write(argv[3]);
        return 0;
    }
    if (mode == "argv") {
        EchoArguments(argc, argv, 2);
        return 0;
    }
    if (mode == "wait-for" && argc >= 3) {
        Write("pid " + std::to_string(::getpid()) + "\n");
        while (!Exists(argv[2]))
            SleepMs(20);
        if (argc >= 5) {
            // Output after the wait was given up: nobody reads it into the LOG, but the
            // child must be able to write it and finish its work.
            const std::size_t n = std::strtoull(argv[3], nullptr, 10);
            Write(kestrine::test::PatternText(n));
            Touch(argv[4]);
        }
        return 0;
    }
    if (mode == "deaf") {
        // Deaf to SIGTERM: only SIGKILL ends it.
        ::signal(SIGTERM, SIG_IGN);
        Write("pid " + std::to_string(::getpid()) + "\n");
        for (;;)
            SleepMs(1000);
    }
    if (mode == "stdin") {
        char c;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        Write(n == 0 ? "stdin-eof" : n < 0 ? "stdin-error" : "stdin-data");
        return 0;
    }
    if (mode == "pipesize") {
        Write(std::to_string(::fcntl(STDOUT_FILENO, F_GETPIPE_SZ)));
        return 0;
    }
    if (mode == "fds") {
        // Descriptors beyond the standard three that came with us.
        std::string text;
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir)
            return 4;
        const int own = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            const int fd = std::atoi(entry->d_name);
            if (fd > 2 && fd != own)
                text += std::to_string(fd) + " ";
        }
        ::closedir(dir);
        Write("fds:" + text);
        return 0;
    }
    if (mode == "exit" && argc >= 3) {
        Write("exiting");
        return std::atoi(argv[2]);
    }
    return Usage();
}
