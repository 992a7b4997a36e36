#include "commands/actions/purgewatch.h"

#include "commands/actions/purge.h"
#include "storage/filetime.h"

#include <QFileInfo>
#include <QtConcurrent>

PurgeWatch::PurgeWatch(Purge purge)
    : m_purge(std::move(purge))
{
    m_running.start();
    connect(&m_poll, &QTimer::timeout, this, &PurgeWatch::poll);
    connect(&m_report, &QFutureWatcher<PurgeReport>::finished, this, [this] {
        if (m_cancelled->load())
            return;
        m_reported = true;
        emit notify(m_purge.id, m_report.result().body(m_purge.server));
    });
    m_poll.start(kPollMs);
}

PurgeWatch::~PurgeWatch()
{
    m_cancelled->store(true);
}

void PurgeWatch::poll()
{
    if (ScriptRunner::isRunning(m_purge.script)) {
        const qint64 now = m_running.elapsed();
        if (now < kProgressAfterMs || (m_lastProgressAt >= 0 && now - m_lastProgressAt < kProgressEveryMs))
            return;
        const qsizetype answered = answeredSoFar();
        if (answered == m_lastAnswered)
            return;
        m_lastProgressAt = now;
        m_lastAnswered = answered;
        emit notify(m_purge.id, PurgeReport::progress(m_purge.server, answered, m_purge.urlLines.size()));
        return;
    }
    m_poll.stop();
    m_ended = true;
    // 100,000 result files take a while to read: never on the window's thread.
    // The task keeps copies of what it needs and outlives this watch if it must.
    m_report.setFuture(QtConcurrent::run(
            [folder = m_purge.folder, lines = m_purge.urlLines, since = m_purge.script.writtenAt,
             cancelled = m_cancelled, answers = m_purge.answers] {
                return PurgeReport::collect(folder, lines, since, cancelled.get(), answers);
            }));
}

qsizetype PurgeWatch::answeredSoFar() const
{
    const auto rewritten = [this](qsizetype i) {
        return FileTime::modifiedNs(::Purge::resultPath(m_purge.folder, m_purge.urlLines.at(i)))
                >= m_purge.script.writtenAt;
    };
    // The first line not rewritten yet, by halving: about 17 looks for 100,000.
    qsizetype low = 0, high = m_purge.urlLines.size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (rewritten(middle))
            low = middle + 1;
        else
            high = middle;
    }
    // The last file rewritten may belong to the squidclient still waiting for
    // its answer.
    if (low > 0 && QFileInfo(::Purge::resultPath(m_purge.folder, m_purge.urlLines.at(low - 1))).size() == 0)
        --low;
    return low;
}
