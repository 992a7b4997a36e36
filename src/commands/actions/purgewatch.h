#pragma once

#include "commands/actions/purgereport.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/appfolder.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>

// Watches one purge script, without waiting for it: while it runs longer than
// kProgressAfterMs it tells how many lines have answered, and once it has ended
// by itself its result files are read and sorted off the calling thread and
// the report follows, for the purge's notification.
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
    };

    explicit PurgeWatch(Purge purge);
    // A report still being made is dropped, not waited for.
    ~PurgeWatch() override;

    const Purge &purge() const { return m_purge; }
    // The script has been seen to end by itself.
    bool ended() const { return m_ended; }
    // Its report has been told.
    bool reported() const { return m_reported; }

signals:
    // The purge's notification is to show `body` now: its progress, then its
    // report.
    void notify(quint64 purge, const QString &body);

private:
    void poll();
    // How many lines have answered: each lane runs its lines in order, and
    // each squidclient's redirection rewrites its result file as it starts;
    // a curl lane's answers so far tell their last line.
    qsizetype answeredSoFar() const;

    Purge m_purge;
    QTimer m_poll;
    QElapsedTimer m_running;
    qint64 m_lastProgressAt = -1;
    qsizetype m_lastAnswered = -1;
    bool m_ended = false;
    bool m_reported = false;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    QFutureWatcher<PurgeReport> m_report;
};
