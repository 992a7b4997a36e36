#include "commands/actions/runningscripts.h"

#include "commands/actions/purge.h"
#include "commands/actions/purgegrid.h"
#include "commands/actions/purgelisting.h"
#include "commands/actions/serverfolder.h"
#include "storage/actionerror.h"
#include "storage/linesplit.h"

#include <QFile>
#include <QSet>

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
    PurgeGroup *last = lastGroup();
    if (!last)
        return;
    if (last->shown) {
        // Its servers' scripts wait for their earlier answers to be read;
        // a read that failed stops the purge, as it would have.
        last->shown->wait();
        if (last->shown->failed())
            return;
        last->shown.reset();
    }
    for (const auto &watch : last->servers) {
        // A listing on its way to start is started first.
        watch->settleStart();
        if (!watch->listing())
            continue;
        watch->waitForPlan();
        startPlanned(watch.get());
        watch->settleStart();
    }
}

RunningScripts::PurgeGroup *RunningScripts::lastGroup()
{
    return !m_purges.empty() && m_purges.back().id == m_lastGroup ? &m_purges.back() : nullptr;
}

const RunningScripts::PurgeGroup *RunningScripts::lastGroup() const
{
    return !m_purges.empty() && m_purges.back().id == m_lastGroup ? &m_purges.back() : nullptr;
}

bool RunningScripts::PurgeGroup::reported() const
{
    return std::all_of(servers.begin(), servers.end(), [](const auto &watch) { return watch->reported(); });
}

bool RunningScripts::purgeRunning() const
{
    const PurgeGroup *last = lastGroup();
    // Between its listing and its own script, a purge is running too.
    return last && std::any_of(last->servers.begin(), last->servers.end(), [](const auto &watch) {
               return watch->listing() || ScriptRunner::isRunning(watch->purge().script);
           });
}

bool RunningScripts::purgeReportPending() const
{
    const PurgeGroup *last = lastGroup();
    return last && !last->reported();
}

bool RunningScripts::purgeReportBeingMade() const
{
    const PurgeGroup *last = lastGroup();
    return last && !last->reported()
            && std::all_of(last->servers.begin(), last->servers.end(),
                           [](const auto &watch) { return watch->ended(); });
}

QString RunningScripts::purge(const QString &server, const QString &urls, const QString &statusRequest,
                              StatusQuery::Password password)
{
    return purge(QStringList{server}, urls, statusRequest, password);
}

QString RunningScripts::purge(const QStringList &selected, const QString &urls, const QString &statusRequest,
                              StatusQuery::Password password)
{
    m_pendingShown = 0;
    const QStringList servers = uniqueServers(selected);
    // Every text of every server passes before anything is stopped or written.
    for (const QString &server : std::as_const(servers))
        PurgeListing::check(m_folder, server, urls, statusRequest, password);
    const QList<AppFolder> folders = foldersOf(servers);

    QList<ScriptRunner::StartedScript> before;
    if (const PurgeGroup *last = lastGroup()) {
        for (const auto &watch : last->servers) {
            // A plan being made writes its script into the same folder: it
            // is done before this purge writes there, and is then never started.
            watch->settlePlanning();
            // A script on its way to start is this purge's to stop too.
            watch->settleStart();
            before << watch->purge().script;
        }
    }
    for (const ScriptRunner::StartedScript &script : std::as_const(before))
        ScriptRunner::stop(script);

    QList<qsizetype> urlLines;
    const QStringList lines = SplitLines(urls + QStringLiteral("\r\n"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            urlLines << i;
    }
    QList<ScriptRunner::StartedScript> started;
    QStringList configs;
    QString shown;
    try {
        for (qsizetype i = 0; i < servers.size(); ++i) {
            // The server is asked what it holds first; the purge's own script
            // starts once that is known (see startPlanned).
            QString config;
            if (servers.size() == 1) {
                started << PurgeListing::start(folders.at(i), servers.at(i), urls, nullptr, statusRequest, password,
                                               &config, true);
            } else {
                // Started by its watch, off this thread: twenty starts in a
                // row, each behind the listings before it, held the click
                // for most of a second.
                const PurgeListing::Written listing
                        = PurgeListing::write(folders.at(i), servers.at(i), urls, nullptr, statusRequest, password, true);
                started << ScriptRunner::StartedScript{0, 0, listing.runPath, -1};
                config = listing.config;
            }
            configs << config;
        }
        // One server's answers are shown at once, as they always were.
        if (servers.size() == 1)
            shown = Purge::shown(folders.front(), urlLines);
    } catch (...) {
        for (qsizetype i = 0; i < started.size(); ++i) {
            ScriptRunner::stop(started.at(i));
            // Written, not started: nothing else removes them.
            if (started.at(i).pid == 0) {
                QFile::remove(started.at(i).runPath);
                if (!configs.at(i).isEmpty())
                    QFile::remove(configs.at(i));
            }
        }
        forgetStopped();
        m_lastGroup = 0;
        throw;
    }
    // This purge rewrites the result files of the ones before it: a report of
    // theirs not made yet would count its answers, or a mix of both.
    dropUnreported();
    PurgeGroup group;
    group.id = ++m_purgeCount;
    for (qsizetype i = 0; i < servers.size(); ++i) {
        PurgeWatch::Purge purge{group.id, folders.at(i), servers.at(i), urlLines, started.at(i), 1, true, urls,
                                configs.at(i)};
        group.servers.push_back(std::make_unique<PurgeWatch>(std::move(purge)));
        PurgeWatch *watch = group.servers.back().get();
        connect(watch, &PurgeWatch::notify, this,
                [this](quint64 id, const QString &body) { watchNotice(id, body); });
        connect(watch, &PurgeWatch::planned, this, [this, watch] { startPlanned(watch); });
        connect(watch, &PurgeWatch::startFailed, this,
                [this, watch](quint64, const QString &error) { startFailed(watch, error); });
        if (servers.size() > 1)
            watch->startListing();
    }
    if (servers.size() > 1) {
        QList<ShownServer> shownServers;
        for (qsizetype i = 0; i < servers.size(); ++i)
            shownServers.append({serverLine(servers.at(i)), folders.at(i), urlLines});
        group.shown = readShown(QString(), shownServers);
        m_pendingShown = group.shown->id();
    }
    group.progress.start();
    m_lastGroup = group.id;
    m_purges.push_back(std::move(group));
    while (m_purges.size() > kKeptPurges) {
        emit purgeForgotten(m_purges.front().id);
        m_purges.pop_front();
    }
    return shown;
}

QStringList RunningScripts::uniqueServers(const QStringList &selected)
{
    // The same server twice is asked once.
    QStringList servers;
    QSet<QString> seen;
    for (const QString &server : selected) {
        if (!seen.contains(server)) {
            seen.insert(server);
            servers << server;
        }
    }
    if (servers.isEmpty())
        servers << QString();
    return servers;
}

QList<AppFolder> RunningScripts::foldersOf(const QStringList &servers) const
{
    QList<AppFolder> folders{m_folder};
    for (qsizetype i = 1; i < servers.size(); ++i)
        folders << ServerFolder::make(m_folder, servers.at(i));
    return folders;
}

QString RunningScripts::lineBreakAfter(const QString &text)
{
    // An answer without a last line end (the missing-file text has none)
    // would take the next server's line into its own.
    return text.isEmpty() || text.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\r\n");
}

QString RunningScripts::serverLine(const QString &server)
{
    return tr("=== %1 ===").arg(PurgeReport::serverName(server)) + QStringLiteral("\r\n");
}

void RunningScripts::startPlanned(PurgeWatch *watch)
{
    // Only the purge started last is ever planned: a newer one dropped it.
    const PurgeGroup *last = lastGroup();
    if (!last || !watch->listing() || watch->starting())
        return;
    const auto kept = std::find_if(last->servers.begin(), last->servers.end(),
                                   [watch](const auto &server) { return server.get() == watch; });
    if (kept == last->servers.end())
        return;
    // Started once its earlier answers are read (see startRead).
    if (last->shown && !last->shown->done() && kept - last->servers.begin() >= last->shown->partsRead())
        return;
    const PurgeWatch::Planned &planned = watch->plan();
    if (planned.written) {
        watch->startPurge();
        return;
    }
    startFailed(watch, planned.error);
}

void RunningScripts::startFailed(PurgeWatch *watch, const QString &error)
{
    watch->failed(tr("%1: the purge did not start\n%2").arg(PurgeReport::serverName(watch->purge().server), error));
}

void RunningScripts::watchNotice(quint64 id, const QString &body)
{
    const auto found = std::find_if(m_purges.begin(), m_purges.end(), [id](const auto &group) { return group.id == id; });
    if (found == m_purges.end())
        return;
    PurgeGroup &group = *found;
    // One server: its own report, as always.
    if (group.servers.size() == 1) {
        emit purgeNotice(id, body);
        return;
    }
    if (group.reported()) {
        PurgeGrid grid;
        for (const auto &server : group.servers) {
            if (server->result())
                grid.add(server->purge().server, *server->result());
            else
                grid.addFailure(server->purge().server, server->failure().section(QLatin1Char('\n'), 1));
        }
        group.table = grid.table();
        emit purgeNotice(id, grid.body());
        return;
    }
    // Some servers' progress, or report: all of theirs, as for one server,
    // once the purge has run a while and then at most once a second.
    const qint64 now = group.progress.elapsed();
    if (now < PurgeWatch::kProgressAfterMs
        || (group.lastProgress >= 0 && now - group.lastProgress < PurgeWatch::kProgressEveryMs))
        return;
    qsizetype answered = 0, total = 0;
    for (const auto &server : group.servers) {
        answered += server->answered();
        total += server->purge().urlLines.size();
    }
    group.lastProgress = now;
    emit purgeNotice(id, PurgeGrid::progress(group.servers.size(), answered, total));
}

bool RunningScripts::purgeKept(quint64 purge) const
{
    return std::any_of(m_purges.begin(), m_purges.end(), [purge](const auto &group) { return group.id == purge; });
}

QString RunningScripts::shownResults(quint64 purge)
{
    m_pendingShown = 0;
    const auto found = std::find_if(m_purges.begin(), m_purges.end(),
                                    [purge](const auto &group) { return group.id == purge; });
    if (found == m_purges.end())
        return QString();
    if (found->servers.size() == 1)
        return Purge::shown(found->servers.front()->purge().folder, found->servers.front()->purge().urlLines);
    QList<ShownServer> servers;
    for (const auto &server : found->servers)
        servers.append({serverLine(server->purge().server), server->purge().folder, server->purge().urlLines});
    // A read asked for before is no longer wanted.
    m_resultsRead = readShown(found->table, servers);
    m_pendingShown = m_resultsRead->id();
    return QString();
}

QString RunningScripts::shownOf(const QString &before, const QList<ShownServer> &servers,
                                const std::atomic_bool &cancelled, std::atomic<qsizetype> &read)
{
    QString shown = before;
    // One limit for all servers' answers: the box shows one text.
    ResultReader reader;
    for (const ShownServer &server : servers) {
        // Past the limit, the cut line alone names where the rest is.
        if (reader.cut() || cancelled.load())
            break;
        shown += lineBreakAfter(shown) + server.line;
        Purge::appendShown(reader, shown, server.folder, server.urlLines, &cancelled);
        // A file the limit cut off counts as read: it is not read again.
        read.store(reader.cut() ? servers.size() : read.load() + 1);
    }
    reader.finish(shown, ResultReader::Kind::Purge);
    return shown;
}

std::unique_ptr<ShownRead> RunningScripts::readShown(const QString &before, const QList<ShownServer> &servers)
{
    auto read = std::make_unique<ShownRead>(
            ++m_readCount, [before, servers](const std::atomic_bool &cancelled, std::atomic<qsizetype> &read) {
                return shownOf(before, servers, cancelled, read);
            });
    connect(read.get(), &ShownRead::finished, this, &RunningScripts::readEnded);
    connect(read.get(), &ShownRead::progressed, this, &RunningScripts::startRead);
    return read;
}

void RunningScripts::readEnded(quint64 read)
{
    std::unique_ptr<ShownRead> ended;
    PurgeGroup *last = lastGroup();
    if (last && last->shown && last->shown->id() == read) {
        ended = std::move(last->shown);
        if (ended->failed()) {
            // As a click that failed: nothing of it runs on, nor is reported.
            for (const auto &watch : last->servers) {
                watch->settleStart();
                ScriptRunner::stop(watch->purge().script);
            }
            emit purgeWithdrawn(last->id);
            m_purges.pop_back();
            m_lastGroup = 0;
        } else {
            startRead();
        }
    } else if (m_resultsRead && m_resultsRead->id() == read) {
        ended = std::move(m_resultsRead);
    } else {
        return;
    }
    m_endedRead = ended.get();
    emit shownRead(read);
    m_endedRead = nullptr;
    // This runs in its signal.
    ended.release()->deleteLater();
}

void RunningScripts::startRead()
{
    PurgeGroup *last = lastGroup();
    if (!last)
        return;
    for (const auto &watch : last->servers) {
        if (watch->listing() && !watch->starting() && watch->planMade())
            startPlanned(watch.get());
    }
}

QString RunningScripts::takeShown(quint64 read)
{
    if (!m_endedRead || m_endedRead->id() != read)
        return QString();
    return m_endedRead->take();
}

void RunningScripts::dropUnreported()
{
    for (auto it = m_purges.begin(); it != m_purges.end();) {
        if (it->reported()) {
            ++it;
            continue;
        }
        emit purgeWithdrawn(it->id);
        it = m_purges.erase(it);
    }
}

void RunningScripts::forgetStopped()
{
    // Stopped by the answer to the question, and not reported: it is not, as
    // the operator had asked it to be stopped.
    PurgeGroup *last = lastGroup();
    if (!last || last->reported())
        return;
    if (std::any_of(last->servers.begin(), last->servers.end(), [](const auto &watch) {
            return !watch->ended() && !watch->listing() && !ScriptRunner::isRunning(watch->purge().script);
        })
        || std::any_of(last->servers.begin(), last->servers.end(), [](const auto &watch) {
               return watch->listing() && !ScriptRunner::isRunning(watch->purge().script);
           })) {
        emit purgeWithdrawn(last->id);
        m_purges.pop_back();
    }
}

void RunningScripts::setStatusPause(int ms)
{
    for (StatusQuery &query : m_statusQueries)
        query.setPause(ms);
}

void RunningScripts::statusQuery(const QString &server, const QString &request, StatusQuery::Password password)
{
    statusQuery(QStringList{server}, request, password);
}

void RunningScripts::statusQuery(const QStringList &selected, const QString &request, StatusQuery::Password password)
{
    // The box is this query's now, even if it is refused.
    m_status.clear();
    m_currentStatus = 0;
    m_statusBefore.clear();
    m_statusSection.clear();
    const QStringList servers = uniqueServers(selected);
    // Every server's text passes before any query is started or stopped.
    for (const QString &server : servers)
        StatusQuery::check(m_folder, server, request, password);
    const QList<AppFolder> folders = foldersOf(servers);
    while (m_statusQueries.size() < size_t(servers.size()))
        m_statusQueries.emplace_back(m_statusQueries.front().pause());
    // The queries of a longer request before go too.
    for (size_t i = size_t(servers.size()); i < m_statusQueries.size(); ++i)
        m_statusQueries[i].stopLast();
    for (qsizetype i = 0; i < servers.size(); ++i) {
        StatusQuery &query = m_statusQueries[size_t(i)];
        ScriptRunner::StartedScript started;
        try {
            started = query.start(folders.at(i), servers.at(i), request, password);
        } catch (...) {
            // A file that failed for one server: none of this request runs on.
            for (qsizetype k = 0; k < i; ++k)
                m_statusQueries[size_t(k)].stopLast();
            m_status.clear();
            throw;
        }
        Followed followed{servers.at(i),
                          std::make_unique<StatusFollow>(started, StatusQuery::resultPath(folders.at(i)), query.pause())};
        StatusFollow *follow = followed.follow.get();
        const size_t index = m_status.size();
        m_status.push_back(std::move(followed));
        connect(follow, &StatusFollow::failed, this, &RunningScripts::statusFailed);
        if (servers.size() == 1) {
            connect(follow, &StatusFollow::arrived, this, &RunningScripts::statusArrived);
            connect(follow, &StatusFollow::finished, this, &RunningScripts::statusFinished);
            continue;
        }
        connect(follow, &StatusFollow::arrived, this, [this, index] {
            if (index == m_currentStatus)
                emit statusArrived();
        });
        connect(follow, &StatusFollow::finished, this, [this, index] { statusEnded(index); });
    }
}

void RunningScripts::statusEnded(size_t index)
{
    if (index != m_currentStatus)
        return;
    // What is left of it, and of those after it that have ended too.
    emit statusArrived();
    if (m_currentStatus == m_status.size())
        emit statusFinished();
}

bool RunningScripts::statusFollowed() const
{
    if (m_status.size() == 1)
        return !m_status.front().follow->done();
    return m_currentStatus < m_status.size();
}

void RunningScripts::releaseStatus()
{
    m_status.clear();
    m_currentStatus = 0;
}

QString RunningScripts::takeStatusText(bool *whole)
{
    *whole = false;
    if (m_status.empty())
        return QString();
    if (m_status.size() == 1)
        return m_status.front().follow->take(whole);
    QString out;
    while (m_currentStatus < m_status.size()) {
        Followed &followed = m_status[m_currentStatus];
        bool replace = false;
        QString text = followed.follow->take(&replace);
        if (!followed.started || replace) {
            // Its answer anew, under its line; once it had shown something,
            // everything before it is shown again with it.
            const bool again = followed.started;
            followed.started = true;
            m_statusSection = lineBreakAfter(m_statusBefore) + serverLine(followed.server) + text;
            if (again || *whole) {
                *whole = true;
                out = m_statusBefore + m_statusSection;
            } else {
                out += m_statusSection;
            }
        } else {
            m_statusSection += text;
            out += text;
        }
        if (!followed.follow->done())
            break;
        m_statusBefore += m_statusSection;
        m_statusSection.clear();
        ++m_currentStatus;
    }
    return out;
}
