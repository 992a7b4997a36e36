#include "storage/textfile.h"

#include "storage/fileerror.h"
#include "storage/regularfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringDecoder>

#include <limits>

namespace TextFile {

QString missingFileText()
{
    return QStringLiteral("文件不存在！！");
}

QString readingOperation()
{
    return QCoreApplication::translate("TextFile", "Reading a file");
}

QString decoderTail(QStringDecoder &decoder)
{
    // A line break after a cut-off character makes the decoder give it up as
    // the replacement character; the line break is taken off again, where it
    // came out at all (Qt 6.4 swallows the byte after a cut-off character).
    QString tail = decoder.decode(QByteArrayView("\n", 1));
    if (tail.endsWith(QLatin1Char('\n')))
        tail.chop(1);
    return tail;
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

FilePart FileContent(const QString &strfile, qint64 maxBytes)
{
    if (!FileExist(strfile))
        return {missingFileText(), 0, false};

    RegularFile file(strfile, RegularFile::Mode::Read, readingOperation());
    // Only what is there now: squidclient may still be writing, and a server that
    // never stops answering would otherwise keep us reading for good.
    const qint64 size = file.size();
    const qint64 wanted = qMin(size, qMax<qint64>(maxBytes, 0));

    // Decoded piece by piece straight into the text: a status answer can be
    // hundreds of megabytes, and the whole file as bytes beside the whole text
    // would take half as much memory again. The decoder keeps a character cut
    // between two pieces. A little room is left at the end for a line the caller
    // may add, so that adding it does not copy the whole text. The text grows as
    // bytes arrive, not by what the size claims: a sparse file of gigabytes
    // must not take that much memory before the first byte is read.
    QStringDecoder decoder(QStringDecoder::System);
    QString text;
    // It starts at 64 MiB at most, a block the C library maps on its own and
    // moves without copying when it grows (smaller ones may sit on its heap and
    // be copied), and takes memory only where bytes land. It is doubled while
    // it grows, but never past what the size claimed, where the file's bytes
    // usually end.
    const qsizetype claimed = qsizetype(qMin<qint64>(wanted, std::numeric_limits<qsizetype>::max() / 4)) + 256;
    text.resize(qMin<qsizetype>(claimed, qsizetype(32) << 20));
    qsizetype length = 0;
    qint64 read = 0;
    QByteArray piece(qsizetype(1) << 20, Qt::Uninitialized);
    while (read < wanted) {
        const qint64 n = file.read(piece.data(), qMin<qint64>(piece.size(), wanted - read));
        if (n == 0)
            break; // shortened meanwhile
        read += n;
        const qsizetype needed = length + decoder.requiredSpace(qsizetype(n));
        if (needed > text.size())
            text.resize(qMax(needed, qMin(text.size() * 2, claimed)));
        length = decoder.appendToBuffer(text.data() + length, QByteArrayView(piece.constData(), qsizetype(n)))
                - text.constData();
    }
    // A character cut off at the very end (of the file, or where we stopped)
    // would stay inside the decoder. The text keeps its room: no copy.
    text.truncate(length);
    text += decoderTail(decoder);
    length = text.size();
    // Wide text takes fewer characters than bytes; give back a large unused tail.
    if (text.capacity() - length > length / 4 + 4096)
        text.squeeze();
    // Cut only where the limit stopped us: a file that shrank while it was read
    // was read whole.
    return {text, read, wanted < size && read == wanted};
}

bool WriteContentLine(const QString &StrData, const QString &strfile)
{
    const QString operation = QCoreApplication::translate("TextFile", "Appending a line to a file");
    if (strfile.isEmpty())
        throw FileError(operation, strfile, QCoreApplication::translate("TextFile", "No file name given"));

    RegularFile file(strfile, RegularFile::Mode::Append, operation);
    // Held from the look at the last byte to the end of the write: another copy
    // of the program adding a server at the same moment waits for its turn.
    file.lock();

    QByteArray bytes;
    // A file saved by hand often lacks its last line break; without one the new
    // line would be glued onto the last line.
    // A writer that takes no lock may be in the middle of a line: its write can be
    // seen half done where it crosses a page. Looked at again until the size holds
    // still, so its line is not taken for an unfinished one.
    qint64 size = file.size();
    char last = '\n';
    for (int look = 0; look < 100 && size > 0; ++look) {
        if (file.read(&last, 1, size - 1) != 1)
            last = '\n';
        const qint64 now = file.size();
        if (now == size)
            break;
        size = now;
    }
    if (last != '\n')
        bytes.append("\r\n", 2);
    bytes += StrData.toLocal8Bit();
    bytes.append("\r\n", 2);

    // All or nothing: a line cut short by a full disk would glue itself onto the
    // next server added, so whatever part of it got in is cut off again.
    file.writeAll(bytes);
    file.close();
    return true;
}

} // namespace TextFile
