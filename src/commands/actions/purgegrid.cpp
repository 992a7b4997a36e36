#include "commands/actions/purgegrid.h"

#include "commands/actions/purge.h"

#include <QMap>
#include <QStringList>

void PurgeGrid::add(const QString &server, const PurgeReport &report)
{
    const QString name = PurgeReport::serverName(server);
    // A server that cannot be reached is one line, not one failure a URL.
    if (report.total() > 0 && report.count(PurgeAnswer::Group::CannotConnect) == report.total()) {
        m_servers.append({name, tr("%1: cannot connect").arg(name), {}});
        return;
    }
    m_servers.append({name, report.body(server).section(QLatin1Char('\n'), 0, 0), report.failedLines()});
}

void PurgeGrid::addFailure(const QString &server, const QString &why)
{
    const QString name = PurgeReport::serverName(server);
    m_servers.append({name, tr("%1: did not start (%2)").arg(name, why.section(QLatin1Char('\n'), 0, 0)), {}});
}

QString PurgeGrid::failedText(qsizetype lines) const
{
    // Each failed line with the servers it failed on, in line order.
    QMap<qsizetype, QStringList> failed;
    for (const Server &server : m_servers) {
        for (const qsizetype line : server.failed)
            failed[line] << server.name;
    }
    QStringList named;
    for (auto it = failed.cbegin(); it != failed.cend() && named.size() < lines; ++it)
        named << tr("%1 on %2").arg(Purge::urlLineName(it.key()), it.value().join(tr(", ")));
    if (named.isEmpty())
        return QString();
    if (failed.size() > lines)
        named << QStringLiteral("…");
    return tr("Not purged: %1").arg(named.join(tr("; ")));
}

QString PurgeGrid::body() const
{
    // Room is kept for the line that tells how many servers are left out,
    // with as many digits as it can ever need.
    const QString longestMore = tr("and %1 more servers (see the results)").arg(m_servers.size());
    QString body;
    const auto append = [&body](const QString &line) {
        if (!body.isEmpty())
            body += QLatin1Char('\n');
        body += line;
    };
    for (qsizetype i = 0; i < m_servers.size(); ++i) {
        const QString &line = m_servers.at(i).line;
        const bool last = i + 1 == m_servers.size();
        const qsizetype need = body.size() + 1 + line.size() + (last ? 0 : 1 + longestMore.size());
        if (need > kRoom) {
            append(tr("and %1 more servers (see the results)").arg(m_servers.size() - i));
            return body;
        }
        append(line);
    }
    const QString failed = failedText(1);
    if (!failed.isEmpty() && body.size() + 1 + failed.size() <= kRoom)
        append(failed);
    return body;
}

QString PurgeGrid::table() const
{
    QStringList lines;
    for (const Server &server : m_servers)
        lines << server.line;
    const QString failed = failedText(PurgeReport::kNamedLines);
    if (!failed.isEmpty())
        lines << failed;
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QString PurgeGrid::progress(qsizetype servers, qsizetype answered, qsizetype total)
{
    return tr("%1 servers: %2 of %3 URLs answered so far")
            .arg(QString::number(servers), QString::number(answered), QString::number(total));
}
