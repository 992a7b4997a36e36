#pragma once

#include "commands/actions/purge.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/appfolder.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What a server holds of a purge's URLs, asked before the purge: its cache
// manager's objects report, which names every copy in memory with the
// Accept-Encoding text it was made for, and lists the key of every other
// (see VaryListing). A copy a client made with a text encodings.txt does not
// hold is refreshed only by a request with that same text, so the purge takes
// the texts from the report rather than guessing.
//
// The report of a large cache runs to hundreds of MiB, and Squid 5, 6 and 7
// stall it for good once it outgrows read_ahead_gap (16 KB unless set): the
// client gives up after kStallSeconds without a byte, and a report cut so
// lists nothing for sure.
namespace PurgeListing {

constexpr int kStallSeconds = 5;

// "objects.txt" in the folder, the report as the client left it.
QString resultPath(const AppFolder &folder);

// Writes test.bat with the request for the report and starts it, after every
// text of the purge of `urls` has passed (see Purge::check), ending `last`
// first if it still runs. Throws as Purge::run does.
ScriptRunner::StartedScript start(const AppFolder &folder, const QString &server, const QString &urls,
                                  ScriptRunner::StartedScript *last = nullptr);

// How each URL line is to be refreshed.
struct Plan
{
    // The report came whole: what it names is all the server holds.
    bool whole = false;
    // Each URL line's values (see Purge::LineValues); a line not here gets none.
    QHash<qsizetype, QStringList> values;
    // Every value of them, once each.
    QStringList valueList;
    // The URL lines whose copies the report could not tell for sure: it was
    // cut or refused, or named a copy no request can make again. They are
    // refreshed with what it named and every value of `encodings`.
    QList<qsizetype> unlisted;

    QStringList of(qsizetype line) const { return values.value(line); }
};

// Reads the report the listing left and plans the purge of `urls` with it;
// `encodings` are encodings.txt's, whose keys the report may list alone.
// Removes the report, read or not. Throws FileError.
Plan plan(const AppFolder &folder, const QString &urls, const QStringList &encodings);

} // namespace PurgeListing
