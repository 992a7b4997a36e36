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

void requireRegularFile(const QString &path, const QString &operation)
{
    // Asked of the entry's type, without opening it: opening a FIFO blocks until a
    // writer comes, and a device such as /dev/zero never ends. A directory is left
    // to fail on opening, in the system's own words.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir())
        throw FileError(operation, path, QStringLiteral("This is not an ordinary file"));
}

QString FileContent(const QString &strfile)
{
    if (!FileExist(strfile))
        return missingFileText();

    const QString operation = QStringLiteral("Reading a file");
    requireRegularFile(strfile, operation);
    QFile file(strfile);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(operation, strfile, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(operation, strfile, file.errorString());
    return QString::fromLocal8Bit(bytes);
}

bool WriteContentLine(const QString &StrData, const QString &strfile)
{
    const QString operation = QStringLiteral("Appending a line to a file");
    if (strfile.isEmpty())
        throw FileError(operation, strfile, QStringLiteral("No file name given"));
    requireRegularFile(strfile, operation);

    // Unbuffered, so every failing write reports the system's reason at once.
    QFile file(strfile);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw FileError(operation, strfile, file.errorString());
    const qint64 before = file.size();

    QByteArray bytes;
    // A file saved by hand often lacks its last line break; without one the new
    // line would be glued onto the last line.
    if (before > 0) {
        char last = 0;
        if (!file.seek(before - 1) || file.read(&last, 1) != 1)
            throw FileError(operation, strfile, file.errorString());
        if (last != '\n')
            bytes.append("\r\n", 2);
    }
    bytes += StrData.toLocal8Bit();
    bytes.append("\r\n", 2);

    // All or nothing: a line cut short by a full disk would glue itself onto the
    // next server added, so whatever part of it got in is cut off again.
    QString failure;
    if (!file.seek(before)) {
        failure = file.errorString();
    } else {
        qint64 done = 0;
        while (done < bytes.size()) {
            // A short write sets no error; writing the rest gives the reason.
            const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
            if (n <= 0) {
                failure = file.errorString();
                break;
            }
            done += n;
        }
    }
    if (failure.isEmpty()) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
        failure = file.errorString();
        file.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    }
    if (file.isOpen())
        file.resize(before);
    throw FileError(operation, strfile, failure);
}

} // namespace TextFile
