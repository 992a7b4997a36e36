#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Tests compare files byte for byte: these read and write them without any
// conversion.
namespace FileBytes {

inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace FileBytes
