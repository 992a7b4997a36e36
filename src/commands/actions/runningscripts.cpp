#include "commands/actions/runningscripts.h"

#include "commands/actions/purge.h"

#include <algorithm>

RunningScripts::RunningScripts(const AppFolder &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
{ }

// Stops nothing: what the operator started runs on after the window closes.
RunningScripts::~RunningScripts() = default;

bool RunningScripts::purgeRunning() const
{
    return ScriptRunner::isRunning(m_lastPurge);
}

bool RunningScripts::purgeReportPending() const
{
    return !m_purges.empty() && m_purges.back()->purge().script.pid == m_lastPurge.pid && !m_purges.back()->reported();
}

bool RunningScripts::purgeReportBeingMade() const
{
    return purgeReportPending() && m_purges.back()->ended();
}

QString RunningScripts::purge(const QString &server, const QString &urls)
{
    const ScriptRunner::StartedScript before = m_lastPurge;
    const bool stopping = purgeRunning();
    QList<qsizetype> urlLines;
    int answers = 1;
    QString shown;
    try {
        shown = Purge::run(m_folder, server, urls, &m_lastPurge, &urlLines, &answers);
    } catch (...) {
        if (stopping)
            forgetIfStopped(before);
        throw;
    }
    if (stopping)
        forgetIfStopped(before);
    // This purge rewrites the result files of the ones before it: a report of
    // theirs not made yet would count its answers, or a mix of both.
    dropUnreported();
    watch(server, std::move(urlLines), answers);
    return shown;
}

QList<qsizetype> RunningScripts::purgeLines(quint64 purge) const
{
    const auto found = std::find_if(m_purges.begin(), m_purges.end(),
                                    [purge](const auto &watch) { return watch->purge().id == purge; });
    return found == m_purges.end() ? QList<qsizetype>() : (*found)->purge().urlLines;
}

void RunningScripts::watch(const QString &server, QList<qsizetype> urlLines, int answers)
{
    PurgeWatch::Purge purge{++m_purgeCount, m_folder, server, std::move(urlLines), m_lastPurge, answers};
    m_purges.push_back(std::make_unique<PurgeWatch>(std::move(purge)));
    connect(m_purges.back().get(), &PurgeWatch::notify, this, &RunningScripts::purgeNotice);
    while (m_purges.size() > kKeptPurges) {
        emit purgeForgotten(m_purges.front()->purge().id);
        m_purges.pop_front();
    }
}

void RunningScripts::dropUnreported()
{
    for (auto it = m_purges.begin(); it != m_purges.end();) {
        if ((*it)->reported()) {
            ++it;
            continue;
        }
        emit purgeWithdrawn((*it)->purge().id);
        it = m_purges.erase(it);
    }
}

void RunningScripts::forgetIfStopped(const ScriptRunner::StartedScript &before)
{
    for (auto it = m_purges.begin(); it != m_purges.end(); ++it) {
        const PurgeWatch &watch = **it;
        if (watch.purge().script.pid != before.pid || watch.purge().script.startTime != before.startTime)
            continue;
        // Still running when the question was asked and not any more: the
        // answer stopped it. One that ended by itself while the question was
        // open was mostly seen ending by its watch, and reported; one that
        // ended in the last moment before the answer goes unreported, as the
        // operator had asked it to be stopped.
        if (!watch.ended() && !ScriptRunner::isRunning(before)) {
            emit purgeWithdrawn(watch.purge().id);
            m_purges.erase(it);
        }
        return;
    }
}

void RunningScripts::statusQuery(const QString &server, const QString &request, StatusQuery::Password password)
{
    // The box is this query's now, even if it is refused.
    m_status.reset();
    const ScriptRunner::StartedScript started = m_statusQuery.start(m_folder, server, request, password);
    m_status = std::make_unique<StatusFollow>(started, StatusQuery::resultPath(m_folder), m_statusQuery.pause());
    connect(m_status.get(), &StatusFollow::arrived, this, &RunningScripts::statusArrived);
    connect(m_status.get(), &StatusFollow::failed, this, &RunningScripts::statusFailed);
    connect(m_status.get(), &StatusFollow::finished, this, &RunningScripts::statusFinished);
}

void RunningScripts::releaseStatus()
{
    m_status.reset();
}

QString RunningScripts::takeStatusText(bool *whole)
{
    *whole = false;
    return m_status ? m_status->take(whole) : QString();
}
