#include "commands/actions/purgewatch.h"

#include "commands/actions/purge.h"
#include "commands/actions/purgeworkers.h"
#include "commands/scriptlines/lanelines.h"
#include "storage/actionerror.h"
#include "storage/encodinglist.h"
#include "storage/filetime.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
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
        m_result = m_report.result();
        emit notify(m_purge.id, m_result->body(m_purge.server));
    });
    connect(&m_planning, &QFutureWatcher<Planned>::finished, this, [this] {
        // waitForPlan() may have taken it already.
        if (m_cancelled->load() || !m_purge.listing || m_planTaken)
            return;
        takePlan();
        emit planned(m_purge.id);
    });
    connect(&m_start, &QFutureWatcher<Start>::finished, this, &PurgeWatch::settleStart);
    m_poll.start(kPollMs);
}

PurgeWatch::Planned PurgeWatch::makePlan(const AppFolder &folder, const QString &server, const QString &urls)
{
    Planned planned;
    // Nothing may leave the task: the purge would wait for ever.
    try {
        planned.plan = PurgeListing::plan(folder, server, urls, EncodingList(folder).load());
        // Thousands of lines a server: written here, not on the window's thread.
        const PurgeListing::Plan &plan = *planned.plan;
        planned.written = ::Purge::write(
                folder, server, urls, [&plan](qsizetype line) { return plan.of(line); }, plan.valueList);
    } catch (const ActionError &error) {
        planned.error = error.message();
    } catch (const std::exception &error) {
        planned.error = QString::fromLocal8Bit(error.what());
    }
    return planned;
}

void PurgeWatch::takePlan()
{
    if (m_planTaken)
        return;
    m_planning.waitForFinished();
    m_planned = m_planning.result();
    m_planTaken = true;
}

void PurgeWatch::waitForPlan()
{
    if (!m_purge.listing || m_planTaken)
        return;
    m_poll.stop();
    if (m_planningStarted) {
        takePlan();
        return;
    }
    // Its client gives up on a report that stalls.
    while (ScriptRunner::isRunning(m_purge.script))
        QThread::msleep(kPollMs / 4);
    removeListingConfig();
    m_planned = makePlan(m_purge.folder, m_purge.server, m_purge.urls);
    m_planTaken = true;
}

void PurgeWatch::settlePlanning()
{
    if (m_planningStarted)
        m_planning.waitForFinished();
}

void PurgeWatch::startPurge()
{
    if (m_starting || !m_planned.written)
        return;
    startOff([written = *m_planned.written] { return ::Purge::start(written); });
}

void PurgeWatch::startListing()
{
    if (m_starting || !m_purge.listing || m_planningStarted)
        return;
    // Watched once it runs.
    m_poll.stop();
    m_startingListing = true;
    startOff([runPath = m_purge.script.runPath] { return ScriptRunner::start(runPath); });
}

void PurgeWatch::startOff(std::function<ScriptRunner::StartedScript()> starter)
{
    m_starting = true;
    m_start.setFuture(QtConcurrent::run(PurgeWorkers::starter(), [starter = std::move(starter)] {
        Start start;
        try {
            start.script = starter();
            start.started = true;
        } catch (const ActionError &error) {
            start.error = error.message();
        } catch (const std::exception &error) {
            start.error = QString::fromLocal8Bit(error.what());
        }
        return start;
    }));
}

void PurgeWatch::settleStart()
{
    if (!m_starting)
        return;
    m_start.waitForFinished();
    m_starting = false;
    const Start start = m_start.result();
    if (m_startingListing) {
        m_startingListing = false;
        if (!start.started) {
            removeListingConfig();
            emit startFailed(m_purge.id, start.error);
            return;
        }
        m_purge.script = start.script;
        m_poll.start(kPollMs);
        return;
    }
    if (!start.started) {
        // A script that does not start leaves nothing behind.
        m_planned.written.reset();
        emit startFailed(m_purge.id, start.error);
        return;
    }
    purging(start.script);
}

void PurgeWatch::purging(const ScriptRunner::StartedScript &script)
{
    m_purge.listing = false;
    m_purge.urls.clear();
    m_purge.script = script;
    if (m_planned.written)
        m_purge.urlLines = m_planned.written->purged;
    m_planned.written.reset();
    m_running.restart();
    m_poll.start(kPollMs);
}

void PurgeWatch::failed(const QString &body)
{
    if (m_planned.written)
        m_planned.written->discard();
    m_planned.written.reset();
    m_purge.listing = false;
    m_poll.stop();
    m_ended = true;
    m_reported = true;
    m_failure = body;
    emit notify(m_purge.id, body);
}

qsizetype PurgeWatch::answered() const
{
    if (m_ended)
        return m_purge.urlLines.size();
    return m_purge.listing ? 0 : answeredSoFar();
}

PurgeWatch::~PurgeWatch()
{
    m_cancelled->store(true);
    // A script on its way to start runs on; one written for a purge that was
    // dropped before it started would be started by no one.
    if (m_starting) {
        m_start.waitForFinished();
        m_planned.written.reset();
    }
    if (m_planningStarted)
        takePlan();
    if (m_planned.written)
        m_planned.written->discard();
    removeListingConfig();
}

void PurgeWatch::removeListingConfig()
{
    if (!m_purge.listingConfig.isEmpty())
        QFile::remove(m_purge.listingConfig);
    m_purge.listingConfig.clear();
}

void PurgeWatch::poll()
{
    if (m_purge.listing) {
        if (ScriptRunner::isRunning(m_purge.script))
            return;
        // A report of hundreds of MiB takes a while to read: never on the
        // window's thread.
        m_poll.stop();
        removeListingConfig();
        m_planningStarted = true;
        m_planning.setFuture(QtConcurrent::run(PurgeWorkers::pool(), &PurgeWatch::makePlan, m_purge.folder,
                                               m_purge.server, m_purge.urls));
        return;
    }
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
            PurgeWorkers::pool(),
            [folder = m_purge.folder, lines = m_purge.urlLines, since = m_purge.script.writtenAt,
             cancelled = m_cancelled, answers = m_purge.answers, plan = m_planned.plan] {
                if (plan)
                    return PurgeReport::collect(folder, lines, since, cancelled.get(), *plan);
                return PurgeReport::collect(folder, lines, since, cancelled.get(), answers);
            }));
}

qsizetype PurgeWatch::answeredSoFar() const
{
    const auto rewritten = [this](qsizetype i) {
        return FileTime::modifiedNs(::Purge::resultPath(m_purge.folder, m_purge.urlLines.at(i)))
                >= m_purge.script.writtenAt;
    };
    // curl on sh: one run of all lines, 8 at a time, so one search.
    if (!m_oneRun)
        m_oneRun = ::Purge::laneStarts(2, nativeShellDialect(), CacheClient::find(m_purge.folder)).size() == 1;
    const QList<qsizetype> starts = *m_oneRun ? QList<qsizetype>{0} : ::Purge::laneStarts(m_purge.urlLines.size());
    const QString mark = ::Purge::laneMark(m_purge.script.runPath);
    qsizetype answered = 0;
    for (qsizetype lane = 0; lane < starts.size(); ++lane) {
        const qsizetype first = starts.at(lane);
        const qsizetype end = lane + 1 < starts.size() ? starts.at(lane + 1) : m_purge.urlLines.size();
        // Each lane runs its lines in order (curl's transfers at once, nearly
        // so). The first line not rewritten yet, by halving: about 14 looks
        // for a lane of 12,500.
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
        // A curl lane on cmd.exe writes its result files only once it has all
        // answers; until then its answers so far end with the line they are for.
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
