#include "commands/actions/purgeanswer.h"

#include <QDateTime>
#include <QFile>

PurgeAnswer::Answer PurgeAnswer::sortFile(const QString &path, qint64 since, int expected)
{
    char head[kHeadBytes];
    QFile file(path);
    // Unbuffered: only the first bytes are wanted, and QFile would otherwise
    // read a block of 16 KiB for them. No FIFO or device can have a result
    // file's name in a Windows folder.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)
        || file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() * 1000000 < since)
        return {Group::DidNotRun};
    const qint64 got = file.read(head, kHeadBytes);
    const Answer answer = sort(QByteArrayView(head, got > 0 ? got : 0));
    if (answer.group != Group::Purged)
        return answer;
    file.seek(0);
    return sortAll(file.read(kMaxAnswerBytes), expected);
}
