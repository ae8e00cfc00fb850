#pragma once
#include <QFile>
#include <QString>
#include <string>

namespace kestrine::platform {

// Paths are bytes in the editor's state; Qt wants QString. These use Qt's own file name encoding
// (UTF-8 on Linux) both ways, the same Qt applies inside its file dialogs and file classes.
inline QString ToQtPath(const std::string& path)
{
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

inline std::string FromQtPath(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace kestrine::platform
