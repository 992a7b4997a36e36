#pragma once

#include <QByteArrayView>
#include <QString>

// What one URL line of a purge came to, told from the first bytes of its result
// file. squidclient exits 0 for every HTTP status (curl too, without -f), so the
// answer itself is the only thing that says whether the object went.
namespace PurgeAnswer {

enum class Group {
    Purged,        // 200: the object was removed
    NotCached,     // 404: nothing was cached under that URL; not a failure
    Refused,       // 403: PURGE is not allowed from here
    OtherStatus,   // any other HTTP status
    CannotConnect, // the client could not reach or resolve the server
    NoAnswer,      // an empty result file, or curl's empty reply or time-out
    DidNotRun,     // anything else: the interpreter's complaint, a missing file
};
constexpr int kGroupCount = int(Group::DidNotRun) + 1;

struct Answer
{
    Group group = Group::DidNotRun;
    int status = 0; // the HTTP status, where there is one
};

// How much of a result file decides: a status line or squidclient's error is
// at its very start.
constexpr qsizetype kHeadBytes = 64;

// Sorts a result file by its first bytes (at least kHeadBytes of it, when it
// has that many).
Answer sort(QByteArrayView head);

// Reads the first bytes of the result file at `path` and sorts them; a file
// that is not there did not run.
Answer sortFile(const QString &path);

} // namespace PurgeAnswer
