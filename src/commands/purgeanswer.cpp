#include "commands/purgeanswer.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "HTTP/<digit>.<digit> <3 digits>" followed by a blank or the line's end: the
// status of HTTP/1.0 and HTTP/1.1 alike. Gives 0 for anything else.
int statusCode(QByteArrayView head)
{
    if (head.size() < 12 || !head.startsWith("HTTP/") || !isDigit(head[5]) || head[6] != '.' || !isDigit(head[7])
        || head[8] != ' ' || !isDigit(head[9]) || !isDigit(head[10]) || !isDigit(head[11]))
        return 0;
    if (head.size() > 12 && head[12] != ' ' && head[12] != '\r' && head[12] != '\n')
        return 0;
    return (head[9] - '0') * 100 + (head[10] - '0') * 10 + (head[11] - '0');
}
} // namespace

PurgeAnswer::Answer PurgeAnswer::sort(QByteArrayView head)
{
    using G = Group;
    if (head.isEmpty())
        return {G::NoAnswer};
    if (const int status = statusCode(head)) {
        switch (status) {
        case 200:
            return {G::Purged, status};
        case 404:
            return {G::NotCached, status};
        case 403:
            return {G::Refused, status};
        default:
            return {G::OtherStatus, status};
        }
    }
    // squidclient's own words when the server cannot be reached or its name
    // cannot be resolved, written to its error stream, which the script
    // redirects into the result file as well.
    if (head.startsWith("ERROR: Cannot connect to ") || head.startsWith("ERROR: Cannot resolve "))
        return {G::CannotConnect};
    // curl's, with -sS: "curl: (N) text", N its exit code. 7: could not
    // connect, 6: could not resolve. 52: the connection closed without a word,
    // where squidclient leaves an empty file; 28: timed out, where squidclient
    // is ended by its alarm and leaves an empty file too.
    if (head.startsWith("curl: (7) ") || head.startsWith("curl: (6) "))
        return {G::CannotConnect};
    if (head.startsWith("curl: (52) ") || head.startsWith("curl: (28) "))
        return {G::NoAnswer};
    return {G::DidNotRun};
}

PurgeAnswer::Answer PurgeAnswer::sortAll(QByteArrayView bytes)
{
    Answer first = sort(bytes);
    if (first.group != Group::Purged)
        return first;
    first.copies = 1;
    // Each answer starts a line: squid's pages end with a line end, and so do
    // squidclient's and curl's complaints.
    for (qsizetype at = bytes.indexOf('\n'); at >= 0 && at + 1 < bytes.size(); at = bytes.indexOf('\n', at + 1)) {
        const QByteArrayView rest = bytes.sliced(at + 1);
        if (!statusCode(rest) && !rest.startsWith("ERROR: ") && !rest.startsWith("curl: ("))
            continue;
        const Answer later = sort(rest.first(std::min(rest.size(), kHeadBytes)));
        if (later.group == Group::Purged)
            ++first.copies;
        else if (later.group != Group::NotCached)
            return {Group::NotRemoved, later.status, first.copies};
    }
    return first;
}

PurgeAnswer::Answer PurgeAnswer::sortFile(const QString &path, qint64 since)
{
    char head[kHeadBytes];
#ifdef Q_OS_UNIX
    // A report reads 100,000 of these; QFile's open asks more of the system
    // than this needs. O_NONBLOCK, as RegularFile opens: a FIFO put under the
    // name would otherwise hold the report's thread, and the program's exit,
    // until someone writes into it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {Group::DidNotRun};
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
        || qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec < since) {
        ::close(fd);
        return {Group::DidNotRun};
    }
    ssize_t got;
    do
        got = ::read(fd, head, sizeof head);
    while (got < 0 && errno == EINTR);
    const Answer answer = sort(QByteArrayView(head, got > 0 ? got : 0));
    if (answer.group != Group::Purged || got < qsizetype(sizeof head)) {
        ::close(fd);
        return answer.group == Group::Purged ? Answer{answer.group, answer.status, 1} : answer;
    }
    // Later values' answers follow the first: read on, within limits.
    QByteArray all(head, got);
    char block[16384];
    while (all.size() < kMaxAnswerBytes) {
        do
            got = ::read(fd, block, sizeof block);
        while (got < 0 && errno == EINTR);
        if (got <= 0)
            break;
        all.append(block, got);
    }
    ::close(fd);
    return sortAll(all);
#else
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
    return sortAll(file.read(kMaxAnswerBytes));
#endif
}
