#include "commands/actions/purgewatch.h"

#include "commands/actions/purge.h"
#include "commands/scriptlines/lanelines.h"
#include "storage/filetime.h"

#include <QFile>
#include <QFileInfo>
#include <QtConcurrent>

#include <algorithm>

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
    const QList<qsizetype> starts = ::Purge::laneStarts(m_purge.urlLines.size());
    const QString mark = ::Purge::laneMark(m_purge.script.runPath);
    qsizetype answered = 0;
    for (qsizetype lane = 0; lane < starts.size(); ++lane) {
        const qsizetype first = starts.at(lane);
        const qsizetype end = lane + 1 < starts.size() ? starts.at(lane + 1) : m_purge.urlLines.size();
        // Each lane runs its lines in order. The first line not rewritten
        // yet, by halving: about 14 looks for a lane of 12,500.
        qsizetype low = first, high = end;
        while (low < high) {
            const qsizetype middle = low + (high - low) / 2;
            if (rewritten(middle))
                low = middle + 1;
            else
                high = middle;
        }
        // The last file rewritten may belong to the squidclient still waiting
        // for its answer.
        if (low > first && QFileInfo(::Purge::resultPath(m_purge.folder, m_purge.urlLines.at(low - 1))).size() == 0)
            --low;
        // A curl lane writes its result files only once it has all answers;
        // until then its answers so far end with the line they are for.
        QFile answers(LaneLines::answersPath(::Purge::lanePrefix(m_purge.script.runPath, lane)));
        if (!mark.isEmpty() && answers.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            answers.seek(std::max<qint64>(0, answers.size() - 4096));
            const qsizetype line = LaneLines::lastAnswered(answers.read(4096), mark);
            const auto found = std::lower_bound(m_purge.urlLines.begin() + first, m_purge.urlLines.begin() + end, line);
            if (line >= 0 && found != m_purge.urlLines.begin() + end && *found == line)
                low = std::max(low, qsizetype(found - m_purge.urlLines.begin()) + 1);
        }
        answered += low - first;
    }
    return answered;
}
