#include "storage/textfile.h"

#include "storage/fileerror.h"

#include <QFile>
#include <QFileInfo>

namespace TextFile {

QString missingFileText()
{
    return QStringLiteral("文件不存在！！");
}

bool FileExist(const QString &strfile)
{
    if (strfile.isEmpty())
        return false;
    // Hidden, read-only and system files all count; directories never do.
    // isDir() first: one stat answers both questions.
    const QFileInfo info(strfile);
    return !info.isDir() && info.exists();
}

QString FileContent(const QString &strfile)
{
    if (!FileExist(strfile))
        return missingFileText();

    QFile file(strfile);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("Reading a file"), strfile, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("Reading a file"), strfile, file.errorString());
    return QString::fromLocal8Bit(bytes);
}

bool WriteContentLine(const QString &StrData, const QString &strfile)
{
    const QString operation = QStringLiteral("Appending a line to a file");
    if (strfile.isEmpty())
        throw FileError(operation, strfile, QStringLiteral("No file name given"));

    QFile file(strfile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw FileError(operation, strfile, file.errorString());
    QByteArray line = StrData.toLocal8Bit();
    line.append("\r\n", 2);
    if (file.write(line) != line.size() || !file.flush())
        throw FileError(operation, strfile, file.errorString());
    file.close();
    return true;
}

} // namespace TextFile
