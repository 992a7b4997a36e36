#pragma once

#include "commands/actions/purge.h"
#include "commands/actions/purgelisting.h"
#include "commands/actions/purgereport.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/appfolder.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Watches one purge, without waiting for it. A purge may first list what the
// server holds (see PurgeListing): once that script has ended, the purge is
// planned from its report off the calling thread and planned() tells that the
// purge's own script may start (purging()). While that runs longer than
// kProgressAfterMs it tells how many lines have answered, and once it has
// ended by itself its result files are read and sorted off the calling thread
// and the report follows, for the purge's notification.
class PurgeWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPollMs = 200;
    static constexpr int kProgressAfterMs = 5000;
    static constexpr int kProgressEveryMs = 1000;

    struct Purge
    {
        quint64 id;
        AppFolder folder;
        QString server;
        QList<qsizetype> urlLines;          // in the order the script runs them
        ScriptRunner::StartedScript script; // its writtenAt tells this purge's answers
        int answers = 1;                    // each line's result file should hold
        // A purge that lists first: `script` is the listing's, and these are
        // the URL lines to plan.
        bool listing = false;
        QString urls;
        // curl's config file of the listing, with the manager's password:
        // removed here should the script not have got to it.
        QString listingConfig;
    };

    // The plan and the purge's own script, written from it, or why there
    // is none.
    struct Planned
    {
        std::optional<PurgeListing::Plan> plan;
        std::optional<::Purge::Written> written;
        QString error;
    };

    explicit PurgeWatch(Purge purge);
    // A report still being made is dropped, not waited for; a plan being made
    // is waited for, and a script written from it and not started removed.
    ~PurgeWatch() override;

    const Purge &purge() const { return m_purge; }
    // The purge's own script has been seen to end by itself.
    bool ended() const { return m_ended; }
    // It lists, or is being planned: its own script has not started yet.
    bool listing() const { return m_purge.listing; }
    // Blocks until the listing has ended and its plan is made.
    void waitForPlan();
    // Blocks while a plan is being made, so that nothing writes into the
    // folder behind the caller's back; starts none.
    void settlePlanning();
    // The plan once planned() has been told, or waitForPlan() has returned.
    const Planned &plan() const { return m_planned; }
    // The latter has happened: plan() holds this purge's plan.
    bool planMade() const { return m_planTaken; }
    // Starts the script written from the plan off the calling thread: a
    // start forks this process and waits for the script's shell to run,
    // which on a loaded machine holds the window's thread for tens of ms,
    // twenty times over for twenty servers. purging() follows, or
    // startFailed(); listing() holds until then.
    void startPurge();
    // Starts the listing, whose script's run copy `script.runPath` names, off
    // the calling thread as above; it is watched from then on, or
    // startFailed() follows.
    void startListing();
    bool starting() const { return m_starting; }
    // Blocks while a start is on its way, and has its outcome told now
    // (once: the start's end does the same).
    void settleStart();
    // The script written from the plan runs now (its URL lines are the
    // result files to read), or could not start (see failed()): it is no
    // longer this watch's to remove.
    void purging(const ScriptRunner::StartedScript &script);
    // It could not start: the notification says why, and that is its report.
    void failed(const QString &body);
    // Once reported: its report, or why it did not start.
    const std::optional<PurgeReport> &result() const { return m_result; }
    const QString &failure() const { return m_failure; }
    // How many of its lines have answered so far (see answeredSoFar()).
    qsizetype answered() const;
    // Its report has been told.
    bool reported() const { return m_reported; }

signals:
    // The purge's notification is to show `body` now: its progress, then its
    // report.
    void notify(quint64 purge, const QString &body);
    // The listing has ended and the plan is made: see plan().
    void planned(quint64 purge);
    // startPurge() did not start the script, for `error`; failed() is for
    // the receiver to call.
    void startFailed(quint64 purge, const QString &error);

private:
    void poll();
    void removeListingConfig();
    // The plan, and the purge's script written from it.
    static Planned makePlan(const AppFolder &folder, const QString &server, const QString &urls);
    // Takes the planning task's result, unless it was taken before.
    void takePlan();
    // How many lines have answered: each lane runs its lines in order, and
    // each squidclient's redirection, or curl on sh, rewrites its result file
    // as it starts; a curl lane's answers so far tell their last line.
    qsizetype answeredSoFar() const;

    Purge m_purge;
    QTimer m_poll;
    QElapsedTimer m_running;
    qint64 m_lastProgressAt = -1;
    qsizetype m_lastAnswered = -1;
    // The script's lanes are one run of its lines (see answeredSoFar).
    mutable std::optional<bool> m_oneRun;
    bool m_ended = false;
    bool m_reported = false;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    QFutureWatcher<PurgeReport> m_report;
    QFutureWatcher<Planned> m_planning;
    bool m_planningStarted = false;
    bool m_planTaken = false;
    Planned m_planned;
    struct Start
    {
        ScriptRunner::StartedScript script;
        bool started = false;
        QString error;
    };
    QFutureWatcher<Start> m_start;
    bool m_starting = false;
    bool m_startingListing = false;
    // Runs `start` on the start thread.
    void startOff(std::function<ScriptRunner::StartedScript()> start);
    std::optional<PurgeReport> m_result;
    QString m_failure;
};
