#include "commands/actions/purgeanswer.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PurgeAnswer::Answer PurgeAnswer::sortFile(const QString &path, qint64 since, int expected)
{
    char first[4096];
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
    // A page of squid's is a few hundred bytes: one read takes the whole
    // answer, and more only where later values' answers follow it.
    ssize_t got;
    do
        got = ::read(fd, first, sizeof first);
    while (got < 0 && errno == EINTR);
    const qsizetype size = got > 0 ? qsizetype(got) : 0;
    const Answer answer = sort(QByteArrayView(first, std::min(size, kHeadBytes)));
    if (answer.group != Group::Purged || size < qsizetype(sizeof first)) {
        ::close(fd);
        return answer.group == Group::Purged ? sortAll(QByteArrayView(first, size), expected) : answer;
    }
    // Later values' answers follow the first: read on, within limits.
    QByteArray all(first, size);
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
    return sortAll(all, expected);
}
