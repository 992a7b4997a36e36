#pragma once

#include "commands/actions/purge.h"
#include "commands/actions/statusquery.h"
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
//
// A manager that wants a password for the report gets the one the status
// query's request names ("mgr:info@secret"), but only where the operator has
// asked for it: a line "password" in purge-listing.txt beside the program.
// Without, the report is refused, and the purge goes on as for a cut one.
namespace PurgeListing {

constexpr int kStallSeconds = 5;

// "objects.txt" in the folder, the report as the client left it.
QString resultPath(const AppFolder &folder);
// "purge-listing.txt" in the folder, the operator's choices, a word a line.
QString optionsPath(const AppFolder &folder);
// Whether its lines hold "password". Throws FileError.
bool sendsStatusPassword(const AppFolder &folder);

// Writes test.bat with the request for the report and starts it, after every
// text of the purge of `urls` has passed (see Purge::check), ending `last`
// first if it still runs. `statusRequest` is the status query's request, whose
// password the report is asked with where sendsStatusPassword(); curl then
// reads it from a config file of the run, whose path `config` gets, removed by
// the script once read (or by the caller, should the script be ended first).
// Throws as Purge::run does, and VisiblePasswordError as StatusQuery::start
// does, before anything is written.
// With `checked`, check() has passed for these texts already.
ScriptRunner::StartedScript start(const AppFolder &folder, const QString &server, const QString &urls,
                                  ScriptRunner::StartedScript *last = nullptr, const QString &statusRequest = QString(),
                                  StatusQuery::Password password = StatusQuery::Password::Hidden,
                                  QString *config = nullptr, bool checked = false);
// The same up to the start: the script's run copy and curl's config file,
// for the caller to start (ScriptRunner::start) or to remove.
struct Written
{
    QString runPath;
    QString config; // empty without one
};
Written write(const AppFolder &folder, const QString &server, const QString &urls, ScriptRunner::StartedScript *last,
              const QString &statusRequest, StatusQuery::Password password, bool checked);
// Throws as start() would for these texts, touching no file.
void check(const AppFolder &folder, const QString &server, const QString &urls, const QString &statusRequest,
           StatusQuery::Password password);

// How each URL line is to be refreshed.
struct Plan
{
    // The server answered with its report.
    bool answered = false;
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

// Reads the report the listing left and plans the purge of `urls` on `server`
// with it; `encodings` are encodings.txt's, whose keys the report may list
// alone. Removes the report, read or not. Throws FileError, and NoClientError
// when the client has gone.
Plan plan(const AppFolder &folder, const QString &server, const QString &urls, const QStringList &encodings);

} // namespace PurgeListing
