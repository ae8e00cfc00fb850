#pragma once
#include <QFile>
#include <QString>
#include <string>

namespace kestrine::platform {

// Paths are bytes in the editor's state; Qt wants QString. These follow the local 8-bit file name
// encoding both ways, so a name that is not valid UTF-8 survives the round trip.
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
