#include "commands/actions/runningscripts.h"

#include "commands/actions/purge.h"
#include "commands/actions/purgelisting.h"
#include "storage/actionerror.h"
#include "storage/linesplit.h"

#include <algorithm>

RunningScripts::RunningScripts(const AppFolder &folder, QObject *parent)
    : QObject(parent)
    , m_folder(folder)
{ }

// Stops nothing: what the operator started runs on after the window closes.
// A purge still listing has no script of its own yet: it is planned and
// started now, which waits for the listing (its client gives up on a report
// that stalls).
RunningScripts::~RunningScripts()
{
    if (m_purges.empty() || !m_purges.back()->listing())
        return;
    m_purges.back()->waitForPlan();
    startPlanned(m_purges.back()->purge().id);
}

bool RunningScripts::purgeRunning() const
{
    // Between its listing and its own script, a purge is running too.
    return ScriptRunner::isRunning(m_lastPurge) || purgeListing();
}

bool RunningScripts::purgeListing() const
{
    return !m_purges.empty() && m_purges.back()->listing() && m_purges.back()->purge().script.pid == m_lastPurge.pid;
}

bool RunningScripts::purgeReportPending() const
{
    return !m_purges.empty() && m_purges.back()->purge().script.pid == m_lastPurge.pid && !m_purges.back()->reported();
}

bool RunningScripts::purgeReportBeingMade() const
{
    return purgeReportPending() && m_purges.back()->ended();
}

QString RunningScripts::purge(const QString &server, const QString &urls, const QString &statusRequest,
                              StatusQuery::Password password)
{
    const ScriptRunner::StartedScript before = m_lastPurge;
    const bool stopping = purgeRunning();
    QList<qsizetype> urlLines;
    QString shown;
    QString config;
    try {
        // The server is asked what it holds first; the purge's own script
        // starts once that is known (see startPlanned).
        PurgeListing::start(m_folder, server, urls, &m_lastPurge, statusRequest, password, &config);
        const QStringList lines = SplitLines(urls + QStringLiteral("\r\n"));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (!lines.at(i).isEmpty())
                urlLines << i;
        }
        shown = Purge::shown(m_folder, urlLines);
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
    watch(server, std::move(urlLines), urls, config);
    return shown;
}

void RunningScripts::startPlanned(quint64 purge)
{
    // Only the purge started last is ever planned: a newer one dropped it.
    if (m_purges.empty() || m_purges.back()->purge().id != purge || !m_purges.back()->listing())
        return;
    PurgeWatch &watch = *m_purges.back();
    const PurgeWatch::Planned &planned = watch.plan();
    const QString name = PurgeReport::serverName(watch.purge().server);
    QString error = planned.error;
    if (planned.plan) {
        const PurgeListing::Plan &plan = *planned.plan;
        QList<qsizetype> urlLines;
        try {
            Purge::run(
                    m_folder, watch.purge().server, watch.purge().urls, &m_lastPurge, &urlLines, nullptr,
                    [&plan](qsizetype line) { return plan.of(line); }, plan.valueList);
            watch.purging(m_lastPurge, std::move(urlLines));
            return;
        } catch (const ActionError &failure) {
            error = failure.message();
        } catch (const std::exception &failure) {
            error = QString::fromLocal8Bit(failure.what());
        }
    }
    watch.failed(tr("%1: the purge did not start\n%2").arg(name, error));
}

QList<qsizetype> RunningScripts::purgeLines(quint64 purge) const
{
    const auto found = std::find_if(m_purges.begin(), m_purges.end(),
                                    [purge](const auto &watch) { return watch->purge().id == purge; });
    return found == m_purges.end() ? QList<qsizetype>() : (*found)->purge().urlLines;
}

void RunningScripts::watch(const QString &server, QList<qsizetype> urlLines, const QString &urls, const QString &config)
{
    PurgeWatch::Purge purge{++m_purgeCount, m_folder, server, std::move(urlLines), m_lastPurge, 1, true, urls, config};
    m_purges.push_back(std::make_unique<PurgeWatch>(std::move(purge)));
    connect(m_purges.back().get(), &PurgeWatch::notify, this, &RunningScripts::purgeNotice);
    connect(m_purges.back().get(), &PurgeWatch::planned, this, &RunningScripts::startPlanned);
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
