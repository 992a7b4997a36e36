#include "storage/textfile.h"

#include "storage/fileerror.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <limits>

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
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError(operation, strfile, file.errorString());

    // Decoded piece by piece straight into the text: a status answer can be
    // hundreds of megabytes, and the whole file as bytes beside the whole text
    // would take half as much memory again. The decoder keeps a character cut
    // between two pieces.
    QStringDecoder decoder(QStringDecoder::System);
    QString text;
    text.resize(qsizetype(qMin<qint64>(file.size(), std::numeric_limits<qsizetype>::max() / 4)) + 1);
    qsizetype length = 0;
    QByteArray piece(qsizetype(1) << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(piece.data(), piece.size());
        if (n < 0)
            throw FileError(operation, strfile, file.errorString());
        if (n == 0)
            break;
        // The file may still grow while it is read (a result file being written).
        const qsizetype needed = length + decoder.requiredSpace(qsizetype(n));
        if (needed > text.size())
            text.resize(qMax(needed, text.size() * 2));
        length = decoder.appendToBuffer(text.data() + length, QByteArrayView(piece.constData(), qsizetype(n)))
                - text.constData();
    }
    // A character cut off at the very end of the file would stay inside the
    // decoder. A line break after it makes the decoder give it up as the
    // replacement character; the line break is taken off again, where it came
    // out at all (Qt 6.4 swallows the byte after a cut-off character).
    if (length + decoder.requiredSpace(1) > text.size())
        text.resize(length + decoder.requiredSpace(1));
    length = decoder.appendToBuffer(text.data() + length, QByteArrayView("\n", 1)) - text.constData();
    if (length > 0 && text.at(length - 1) == QLatin1Char('\n'))
        --length;
    text.truncate(length);
    // Wide text takes fewer characters than bytes; give back a large unused tail.
    if (text.capacity() - length > length / 4 + 4096)
        text.squeeze();
    return text;
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
