#pragma once

#include "commands/scriptlines/managerrequest.h"

#include <QStringList>

// The arguments a client is given for a purge's URL line or a status query, as
// a recording stand-in logs them after the program's own name.
struct ExpectedCalls
{
    bool curl;
    QString server;
    // cmd.exe's lanes run curl as they always did; sh's are one curl's transfers.
    bool cmd = false;
    int lanes = 1;

    // curl's fixed options, or squidclient's server and port.
    QStringList head() const
    {
        return curl ? QStringList{"-q", "-sS", "-i", "-g", "-x", QString(), "--connect-timeout", "10"}
                    : QStringList{"-h", server, "-p", "80"};
    }
    QString serverUrl() const { return QStringLiteral("http://") + server + QStringLiteral(":80/"); }

    // A URL line's PURGE; with an Accept-Encoding value, then a GET, and both
    // again with the value's header (escaped for squidclient).
    QList<QStringList> purge(const QString &url, const QString &value = QString()) const
    {
        const QStringList method = curl ? QStringList{"-X", "PURGE"} : QStringList{"-m", "purge"};
        const QStringList target = curl ? QStringList{"--request-target", url, serverUrl()} : QStringList{url};
        // A time-out for each request of curl's.
        QStringList plain = curl ? head() + QStringList{"-m", "120"} : head();
        if (curl && !cmd)
            plain = QStringList{"-q", "-sS", "--no-progress-meter", "--parallel", "--parallel-max", QString::number(lanes)}
                    + plain.mid(2);
        if (value.isNull())
            return {plain + method + target};
        QString header = QStringLiteral("Accept-Encoding: ") + value;
        if (!curl)
            header = header.replace(u'\\', QStringLiteral("\\\\")) + QStringLiteral("\\n");
        const QStringList withHeader = plain + QStringList{"-H", header};
        return {plain + method + target, plain + target, withHeader + method + target, withHeader + target};
    }

    // A manager request in its path form, with the password as the client
    // takes one (curl from its config file, logged as "config:" and its text);
    // any other text as it is.
    QStringList status(const QString &text) const
    {
        const ManagerRequest manager = ManagerRequest::parse(text);
        QStringList args = head();
        if (curl)
            args += QStringList{"-Y", "1", "-y", "120"};
        QString quoted = manager.password;
        quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        if (manager.withPassword)
            args += curl ? QStringList{"-K", QStringLiteral("config:user = \"quellory:") + quoted + u'"'}
                         : QStringList{"-U", "quellory", "-W", manager.password};
        const QString request = manager.manager ? manager.path : text;
        return args + (curl ? QStringList{"--request-target", request, serverUrl()} : QStringList{request});
    }

    static QList<QByteArray> local8Bit(const QStringList &args)
    {
        QList<QByteArray> bytes;
        for (const QString &arg : args)
            bytes << arg.toLocal8Bit();
        return bytes;
    }
};
