#pragma once

#include "commands/actions/purgeanswer.h"
#include "commands/actions/purgelisting.h"
#include "storage/appfolder.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <array>
#include <atomic>
#include <set>

// How a purge went: the answers of its URL lines counted by group, and the
// lines that did not purge, for the operator's notification.
class PurgeReport
{
    Q_DECLARE_TR_FUNCTIONS(PurgeReport)

public:
    // How many lines that did not purge the body names before "…".
    static constexpr qsizetype kNamedLines = 3;
    // How much of a server's name a notification shows: the counts after it
    // must fit in the Windows tray's 255 characters.
    static constexpr qsizetype kServerChars = 64;

    // Why the copies of some lines could not be listed before the purge.
    enum class Unlisted {
        None,
        NotAnswered, // the manager refused, wanted a password, or was not reached
        Cut,         // its report came cut
        Unnameable,  // it listed a copy no request of the purge can name
    };

    // `listed` is false for a line whose copies the server could not list:
    // one that purged or had nothing cached is then counted as not listed,
    // as neither is known for every copy.
    void add(qsizetype urlLine, PurgeAnswer::Answer answer, bool listed = true);

    // Reads and sorts the result files of these URL lines (counted from 0),
    // each of which should hold `answers` answers (one, and one for each
    // Accept-Encoding value); a file last written before `since` did not run
    // (see PurgeAnswer::sortFile). Stops early, with what it has, once
    // `cancelled` is set.
    static PurgeReport collect(const AppFolder &folder, const QList<qsizetype> &urlLines, qint64 since = -1,
                               const std::atomic_bool *cancelled = nullptr, int answers = 1);
    // The same for a purge planned from the server's listing: each line holds
    // one answer per value it was refreshed with (one for none), and its
    // unlisted lines are told as such.
    static PurgeReport collect(const AppFolder &folder, const QList<qsizetype> &urlLines, qint64 since,
                               const std::atomic_bool *cancelled, const PurgeListing::Plan &plan);

    qsizetype total() const { return m_total; }
    qsizetype count(PurgeAnswer::Group group) const { return m_counts[size_t(group)]; }
    qsizetype notListed() const { return m_notListed; }
    // The first lines that did not purge, kNamedLines + 1 at most.
    const QList<qsizetype> &failedLines() const { return m_failedLines; }
    // How many copies the purged URLs lost, one per 200 (see PurgeAnswer::sortAll).
    qsizetype copies() const { return m_copies; }

    // "127.0.0.1: 3 URLs — purged 1, not in the cache 1, refused 1", then a
    // line naming the first lines that did not purge.
    QString body(const QString &server) const;
    // `text` cut to `room` characters, "…" last, when it is longer: the Windows
    // tray holds 255 and would cut it off with no sign of it.
    static QString shortened(const QString &text, qsizetype room);
    // A server's name as a notification shows it: on one line, with every
    // control, format or line-break character replaced by U+FFFD, so that no
    // name can forge a line of the report or turn its text around, and cut to
    // kServerChars.
    static QString serverName(const QString &server);
    // While the script runs: how many of its lines have answered so far.
    static QString progress(const QString &server, qsizetype answered, qsizetype total);

private:
    static QString groupText(PurgeAnswer::Group group, qsizetype count, qsizetype copies);
    template<typename Answers>
    static PurgeReport collectWith(const AppFolder &folder, const QList<qsizetype> &urlLines, qint64 since,
                                   const std::atomic_bool *cancelled, const Answers &answers);

    qsizetype m_total = 0;
    qsizetype m_copies = 0;
    qsizetype m_notListed = 0;
    Unlisted m_unlisted = Unlisted::None;
    std::array<qsizetype, PurgeAnswer::kGroupCount> m_counts{};
    std::set<int> m_otherStatuses;
    QList<qsizetype> m_failedLines; // the first kNamedLines + 1
};
