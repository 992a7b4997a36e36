#pragma once

#include "commands/actions/purgereport.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <optional>

// How one purge on several servers went: each server's counts, a line a
// server, and which servers each failed URL line failed on, for the one
// notification of them all and for the output box.
class PurgeGrid
{
    Q_DECLARE_TR_FUNCTIONS(PurgeGrid)

public:
    // What the Windows tray holds.
    static constexpr qsizetype kRoom = 255;

    // A server's report, in the order the servers were selected.
    void add(const QString &server, const PurgeReport &report);
    // A server whose purge did not start, with the first line of why.
    void addFailure(const QString &server, const QString &why);

    // The notification: a line for every server while they fit in kRoom, then
    // how many are left out; then the first failed URL lines and their servers.
    QString body() const;
    // Every server's line and every failed URL line known with its servers,
    // for the output box.
    QString table() const;
    // While the scripts run: how many of all their lines have answered.
    static QString progress(qsizetype servers, qsizetype answered, qsizetype total);

private:
    struct Server
    {
        QString name;
        QString line;
        QList<qsizetype> failed;
    };
    QString failedText(qsizetype lines) const;

    QList<Server> m_servers;
};
