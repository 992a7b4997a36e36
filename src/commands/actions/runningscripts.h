#pragma once

#include "commands/actions/purgewatch.h"
#include "commands/actions/shownread.h"
#include "commands/actions/statusfollow.h"
#include "commands/actions/statusquery.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/appfolder.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

// The one owner of the scripts the window starts: the purges, with a watch
// each for its report, and the status query, whose answer it follows. Each is
// started, watched and stopped here; the window only wires these to its
// controls and to the desktop's notifications.
class RunningScripts : public QObject
{
    Q_OBJECT

public:
    // How many purges keep their watch, so that their reports' action still works.
    static constexpr size_t kKeptPurges = 8;

    explicit RunningScripts(const AppFolder &folder, QObject *parent = nullptr);
    ~RunningScripts() override;

    // Whether the purge started last is still running: a new purge would ask.
    bool purgeRunning() const;
    // The purge started last has not been reported yet: its script still runs,
    // or its result files are being read and sorted.
    bool purgeReportPending() const;
    // The latter: its script has ended and the report is being made.
    bool purgeReportBeingMade() const;

    // Purges these URL lines from `server`, ending the purge started before if
    // it still runs, and gives back what the output box shows (see
    // Purge::run). The server's list of what it holds comes first (see
    // PurgeListing); the purge's own script starts once that is read. The
    // reports of earlier purges not made yet are dropped: this one rewrites
    // their result files. Throws as Purge::run does, before the listing starts.
    // `statusRequest` is the status query's, for its password (see
    // PurgeListing::start, which may throw VisiblePasswordError).
    QString purge(const QString &server, const QString &urls, const QString &statusRequest = QString(),
                  StatusQuery::Password password = StatusQuery::Password::Hidden);
    // The same on every one of `servers` at once, each listed and purged on
    // its own (the same text twice once). The first one's scripts and answers
    // are the program folder's, as for one server; every other's are in a
    // folder of its own (see ServerFolder), and the output box shows each
    // server's under a line naming it, read off this thread: the text given
    // back is empty, and shownRead() tells when the box's is there to take
    // (see pendingShown()); each server's own script starts once its earlier
    // answers are read. A read that fails stops the purge. One report, when
    // all have ended, for them all (see PurgeGrid).
    QString purge(const QStringList &servers, const QString &urls, const QString &statusRequest = QString(),
                  StatusQuery::Password password = StatusQuery::Password::Hidden);
    // Whether a purge is still kept, so that its results can be shown.
    bool purgeKept(quint64 purge) const;
    // What its result files hold now, as its click showed them; after a
    // purge on several servers, the table of their reports first, read off
    // this thread as purge() reads (the text given back is empty). Throws
    // FileError.
    QString shownResults(quint64 purge);
    // The read that the last purge() or shownResults() left for the box's
    // text; 0 when it gave the text back itself.
    quint64 pendingShown() const { return m_pendingShown; }
    // The text of `read`, for shownRead()'s receivers; throws what reading
    // it threw (FileError).
    QString takeShown(quint64 read);

    // Starts a status query and follows its answer: statusArrived() tells when
    // there is text to take. A query still running is ended first. Throws as
    // StatusQuery::start does, before anything is stopped.
    void statusQuery(const QString &server, const QString &request,
                     StatusQuery::Password password = StatusQuery::Password::Hidden);
    // The same request to every one of `servers` at once (the same text twice
    // once): their answers one after another, each under a line naming its
    // server, each followed as it arrives once those before it have ended.
    // The first one's files are the program folder's; every other's are in
    // its folder (see ServerFolder). With one server, exactly the above.
    void statusQuery(const QStringList &servers, const QString &request,
                     StatusQuery::Password password = StatusQuery::Password::Hidden);
    // The output box is taken by something else: the running query goes on,
    // but nothing more of it is shown.
    void releaseStatus();
    // What to show of the query's answer (see StatusFollow::take).
    QString takeStatusText(bool *whole);
    // A status query's answer is still being followed.
    bool statusFollowed() const;

    // The status query's pause; only tests and benchmarks change it.
    void setStatusPause(int ms);

signals:
    // A purge's notification is to show `body` (its progress, then its report).
    void purgeNotice(quint64 purge, const QString &body);
    // A purge's notification is to go: it was stopped, or its report dropped.
    void purgeWithdrawn(quint64 purge);
    // A purge is no longer kept; its notification may stay.
    void purgeForgotten(quint64 purge);
    // A read of the box's text has ended: see takeShown().
    void shownRead(quint64 read);
    void statusArrived();
    void statusFailed(const QString &message);
    void statusFinished();

private:
    // One click's purge: a watch a server, all under one notification.
    struct PurgeGroup
    {
        quint64 id = 0;
        std::vector<std::unique_ptr<PurgeWatch>> servers;
        // Several servers: their reports' table, once all are in.
        QString table;
        QElapsedTimer progress;
        qint64 lastProgress = -1;
        // Several servers: the earlier answers the click shows, being read.
        // The servers' own scripts rewrite them, so none starts before then.
        std::unique_ptr<ShownRead> shown;

        bool reported() const;
    };

    // The purge started last, if it is still kept.
    PurgeGroup *lastGroup();
    const PurgeGroup *lastGroup() const;
    // The purge started last, stopped by the operator's answer, is not
    // reported, nor waited for.
    void forgetStopped();
    void dropUnreported();
    // A server's listing is planned: its own script is started, off this
    // thread, or it is reported as not started.
    void startPlanned(PurgeWatch *watch);
    void startFailed(PurgeWatch *watch, const QString &error);
    // A server's progress or report, for its purge's notification.
    void watchNotice(quint64 id, const QString &body);
    static QString serverLine(const QString &server);
    // Several servers' result files, each under its line, after `before`,
    // within one limit; gives up once `cancelled` is set.
    struct ShownServer
    {
        QString line;
        AppFolder folder;
        QList<qsizetype> urlLines;
    };
    // `read` counts the servers whose files are read (all once it has cut).
    static QString shownOf(const QString &before, const QList<ShownServer> &servers,
                           const std::atomic_bool &cancelled, std::atomic<qsizetype> &read);
    // Starts reading it off this thread.
    std::unique_ptr<ShownRead> readShown(const QString &before, const QList<ShownServer> &servers);
    void readEnded(quint64 read);
    // The last purge's servers whose earlier answers are read, and that are
    // planned, start.
    void startRead();
    // A line end, should `text` not end with one.
    static QString lineBreakAfter(const QString &text);
    // The selected servers, each text once, in order; one empty text for none.
    static QStringList uniqueServers(const QStringList &selected);
    // Each server's folder: the program's for the first, its own for the others
    // (made if need be, see ServerFolder). Throws FileError.
    QList<AppFolder> foldersOf(const QStringList &servers) const;

    AppFolder m_folder;
    // The last few purges, newest last: their reports may still be asked for
    // their results.
    std::deque<PurgeGroup> m_purges;
    // The one started last; 0 once it could not start.
    quint64 m_lastGroup = 0;
    quint64 m_purgeCount = 0;
    // The last read shownResults() started; the read being told.
    std::unique_ptr<ShownRead> m_resultsRead;
    ShownRead *m_endedRead = nullptr;
    quint64 m_readCount = 0;
    quint64 m_pendingShown = 0;

    // One query a server of the last request, the first server's first: each
    // stops its own last script.
    std::vector<StatusQuery> m_statusQueries{StatusQuery()};
    // The answers followed, a server each; the box shows them in this order.
    struct Followed
    {
        QString server;
        std::unique_ptr<StatusFollow> follow;
        bool started = false;
    };
    std::vector<Followed> m_status;
    size_t m_currentStatus = 0;
    // Several servers: the answers of those that have ended, each under its
    // line, and the one being followed.
    QString m_statusBefore;
    QString m_statusSection;
    void statusEnded(size_t index);
};
