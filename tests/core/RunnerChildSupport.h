#pragma once
// Command lines that start the runner tests' child program, and readers of what it prints.
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

#include "core/CommandLine.h"

namespace kestrine::test {

inline std::string RunnerChild()
{
    return KESTRINE_RUNNER_CHILD;
}

inline std::string ChildCommand(const std::string& program, const std::vector<std::string>& args)
{
    std::string line = core::Quote(program);
    for (const std::string& arg : args)
        line += " " + core::Quote(arg);
    return line;
}

inline std::string ChildCommand(const std::vector<std::string>& args)
{
    return ChildCommand(RunnerChild(), args);
}

// The arguments the child echoed as "arg <hex>" lines.
inline std::vector<std::string> EchoedArguments(const QString& text)
{
    std::vector<std::string> args;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("arg ")))
            continue;
        const QByteArray bytes = QByteArray::fromHex(line.mid(4).toLatin1());
        args.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return args;
}

// A copy of the child under another name, e.g. as a stand-in asfbin.exe.
inline std::filesystem::path CopyChildTo(const std::filesystem::path& target)
{
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(RunnerChild(), target, std::filesystem::copy_options::overwrite_existing);
    return target;
}

}  // namespace kestrine::test
