#include "commands/actions/purgereport.h"

#include "commands/actions/purge.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

QString PurgeReport::groupText(PurgeAnswer::Group group, qsizetype count, qsizetype copies)
{
    using G = PurgeAnswer::Group;
    switch (group) {
    case G::Purged:
        // The copies are named once a URL had more than one, its
        // Accept-Encoding variants.
        if (copies > count)
            return tr("purged %1 (%2 copies)").arg(count).arg(copies);
        return tr("purged %1").arg(count);
    case G::NotRemoved:
        return tr("not removed %1").arg(count);
    case G::NotCached:
        return tr("not in the cache %1").arg(count);
    case G::Refused:
        return tr("refused %1").arg(count);
    case G::OtherStatus:
        return tr("other answer %1").arg(count);
    case G::CannotConnect:
        return tr("cannot connect %1").arg(count);
    case G::NoAnswer:
        return tr("no answer %1").arg(count);
    case G::DidNotRun:
        return tr("did not run %1").arg(count);
    }
    return QString();
}

void PurgeReport::add(qsizetype urlLine, PurgeAnswer::Answer answer, bool listed)
{
    using G = PurgeAnswer::Group;
    ++m_total;
    if (!listed && (answer.group == G::Purged || answer.group == G::NotCached)) {
        ++m_notListed;
        return;
    }
    ++m_counts[size_t(answer.group)];
    if (answer.group == G::Purged)
        m_copies += answer.copies;
    if (answer.group == G::OtherStatus)
        m_otherStatuses.insert(answer.status);
    // 404 is no failure: there was nothing to remove.
    if (answer.group != G::Purged && answer.group != G::NotCached && m_failedLines.size() <= kNamedLines)
        m_failedLines.append(urlLine);
}

PurgeReport PurgeReport::collect(const AppFolder &folder, const QList<qsizetype> &urlLines, qint64 since,
                                 const std::atomic_bool *cancelled, int answers)
{
    return collectWith(folder, urlLines, since, cancelled, [answers](qsizetype, bool *listed) {
        *listed = true;
        return answers;
    });
}

PurgeReport PurgeReport::collect(const AppFolder &folder, const QList<qsizetype> &urlLines, qint64 since,
                                 const std::atomic_bool *cancelled, const PurgeListing::Plan &plan)
{
    const QSet<qsizetype> unlisted(plan.unlisted.begin(), plan.unlisted.end());
    PurgeReport report = collectWith(folder, urlLines, since, cancelled, [&](qsizetype line, bool *listed) {
        *listed = !unlisted.contains(line);
        const auto found = plan.values.constFind(line);
        return found == plan.values.constEnd() ? 1 : std::max(1, int(found->size()));
    });
    if (report.m_notListed > 0) {
        report.m_unlisted = !plan.answered ? Unlisted::NotAnswered : !plan.whole ? Unlisted::Cut : Unlisted::Unnameable;
    }
    return report;
}

template<typename Answers>
PurgeReport PurgeReport::collectWith(const AppFolder &folder, const QList<qsizetype> &urlLines, qint64 since,
                                     const std::atomic_bool *cancelled, const Answers &answers)
{
    PurgeReport report;
    // Purge::resultPath(folder, line), with the folder joined once.
    const QString prefix = Purge::resultPath(folder, 0).chopped(5);
    QString path = prefix;
    for (const qsizetype line : urlLines) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            break;
        path.truncate(prefix.size());
        path.append(QString::number(line)).append(QLatin1String(".txt"));
        bool listed = true;
        const int expected = answers(line, &listed);
        report.add(line, PurgeAnswer::sortFile(path, since, expected), listed);
    }
    return report;
}

QString PurgeReport::body(const QString &server) const
{
    QStringList groups;
    for (int g = 0; g < PurgeAnswer::kGroupCount; ++g) {
        // Right after the purged ones: these may have purged too, but not
        // every copy for sure.
        if (g == int(PurgeAnswer::Group::NotRemoved) && m_notListed > 0)
            groups << tr("not listed %1").arg(m_notListed);
        if (m_counts[size_t(g)] == 0)
            continue;
        QString text = groupText(PurgeAnswer::Group(g), m_counts[size_t(g)], m_copies);
        if (PurgeAnswer::Group(g) == PurgeAnswer::Group::OtherStatus) {
            QStringList codes;
            for (const int status : m_otherStatuses)
                codes << QString::number(status);
            text += QStringLiteral(" (") + codes.join(tr(", ")) + QLatin1Char(')');
        }
        groups << text;
    }
    // Without an English translation, %n would read "URL(s)".
    const QString name = serverName(server);
    QString body = m_total == 1 ? tr("%1: 1 URL").arg(name) : tr("%1: %2 URLs").arg(name, QString::number(m_total));
    if (!groups.isEmpty())
        body += tr(" — ") + groups.join(tr(", "));
    if (!m_failedLines.isEmpty()) {
        QStringList named;
        for (qsizetype i = 0; i < m_failedLines.size() && i < kNamedLines; ++i)
            named << Purge::urlLineName(m_failedLines.at(i));
        if (m_failedLines.size() > kNamedLines)
            named << QStringLiteral("…");
        body += QLatin1Char('\n') + tr("Not purged: %1").arg(named.join(tr(", ")));
    }
    switch (m_unlisted) {
    case Unlisted::None:
        break;
    case Unlisted::NotAnswered:
        body += QLatin1Char('\n') + tr("Not listed: the cache manager did not give its list of objects");
        break;
    case Unlisted::Cut:
        body += QLatin1Char('\n') + tr("Not listed: the list of objects came cut (see read_ahead_gap)");
        break;
    case Unlisted::Unnameable:
        body += QLatin1Char('\n') + tr("Not listed: a copy was made with a header no purge can send");
        break;
    }
    return body;
}

QString PurgeReport::shortened(const QString &text, qsizetype room)
{
    if (text.size() <= room)
        return text;
    qsizetype keep = room - 1;
    // Never half of a character outside the basic plane.
    if (keep > 0 && text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep) + QStringLiteral("…");
}

QString PurgeReport::serverName(const QString &server)
{
    QString name = server.left(kServerChars + 1);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        // A pair outside the basic plane is kept whole; a lone half is not.
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            name[i] = QChar::ReplacementCharacter;
            break;
        default:
            break;
        }
    }
    return shortened(name, kServerChars);
}

QString PurgeReport::progress(const QString &server, qsizetype answered, qsizetype total)
{
    return tr("%1: %2 of %3 URLs answered so far")
            .arg(serverName(server), QString::number(answered), QString::number(total));
}
