#pragma once

#include <QByteArrayView>
#include <QString>

// What one URL line of a purge came to, told from the first bytes of its result
// file. squidclient exits 0 for every HTTP status (curl too, without -f), so the
// answer itself is the only thing that says whether the object went.
namespace PurgeAnswer {

enum class Group {
    Purged,        // 200: the object was removed
    NotRemoved,    // 200, but a later value's PURGE failed: a copy may still
                   // be served
    NotCached,     // 404: nothing was cached under that URL; not a failure
    Refused,       // 403: PURGE is not allowed from here
    OtherStatus,   // any other HTTP status
    CannotConnect, // the client could not reach or resolve the server
    NoAnswer,      // an empty result file, or curl's empty reply or time-out
    DidNotRun,     // anything else: the interpreter's complaint, a missing
                   // file, or one an earlier script wrote
};
constexpr int kGroupCount = int(Group::DidNotRun) + 1;

struct Answer
{
    Group group = Group::DidNotRun;
    int status = 0; // the HTTP status, where there is one
    int copies = 0; // Purged: how many of the file's answers are 200
};

// How much of a result file decides: a status line or squidclient's error is
// at its very start.
constexpr qsizetype kHeadBytes = 64;

// At most this much of a result file is read for the answers after the first.
constexpr qsizetype kMaxAnswerBytes = qsizetype(1) << 20;

// Sorts a result file by its first bytes (at least kHeadBytes of it, when it
// has that many).
Answer sort(QByteArrayView head);

// Sorts a result file that holds one answer per Accept-Encoding value (see
// Purge), today's first, `expected` answers in all. The first decides, as
// sort() does; when it is a 200, every later answer is a 200 (one more copy)
// or a 404 (no copy under that value), or else a copy may be left:
// NotRemoved. So are fewer answers than expected: a client that got none
// (a connection closed, a time-out) writes nothing at all.
Answer sortAll(QByteArrayView bytes, int expected = 1);

// Reads the result file at `path`, which should hold `expected` answers, and
// sorts it with sortAll, past its first
// bytes only when they are a 200. A file
// that is not there, or was last written before `since` (nanoseconds since the
// epoch by the file system's clock, see FileTime; -1 for any time), did not
// run: a line the script never got to leaves the answer of an earlier purge
// in place. Neither a FIFO nor a device in its place is ever waited for.
Answer sortFile(const QString &path, qint64 since = -1, int expected = 1);

} // namespace PurgeAnswer
