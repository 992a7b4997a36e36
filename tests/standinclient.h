#pragma once

#include "waits.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QTest>

// A stand-in for squidclient, installed in a test's application folder. It talks
// to no server: it records the arguments it was given (NUL-separated, so any byte
// survives) and answers on both output streams, the way the real client writes
// its errors to standard error. `before` is shell code run before it answers: a
// slow server, or one that never stops answering. `name` is the program it
// stands in for: squidclient, or curl in a folder put on PATH.
class StandInClient
{
public:
    explicit StandInClient(const QString &folder, const QByteArray &before = QByteArray(),
                           const QString &name = QStringLiteral("squidclient"))
        : m_folder(folder)
    {
        const QString path = m_folder + QLatin1Char('/') + name;
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write the stand-in client");
        script.write("#!/bin/sh\n"
                     "log=\"${0%/*}/argv.log\"\n"
                     // A config file (curl's -K) is gone once the script has
                     // ended: its text is logged in its place.
                     "{ printf '%s\\0' \"$#\"; for a in \"$0\" \"$@\"; do\n"
                     "  if [ \"$p\" = -K ]; then printf 'config:%s\\0' \"$(cat -- \"$a\")\"; else printf '%s\\0' \"$a\"; fi; p=$a\n"
                     "done; } >> \"$log\"\n"
                     "for a in \"$@\"; do last=$a; done\n"
                     + before
                     + "printf 'answer for %s\\n' \"$last\"\n"
                       "printf 'stand-in error\\n' >&2\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Every call so far: argv[0] followed by the arguments, as bytes.
    QList<QList<QByteArray>> calls() const
    {
        QFile log(m_folder + QStringLiteral("/argv.log"));
        QList<QList<QByteArray>> calls;
        if (!log.open(QIODevice::ReadOnly))
            return calls;
        const QList<QByteArray> tokens = log.readAll().split('\0');
        qsizetype i = 0;
        while (i + 1 < tokens.size()) {
            const int count = tokens.at(i).toInt() + 1;
            if (i + 1 + count > tokens.size() - 1)
                break; // a record still being written
            calls.append(tokens.mid(i + 1, count));
            i += 1 + count;
        }
        return calls;
    }

    // Waits until the scripts have made at least n calls.
    bool waitForCalls(qsizetype n, int timeoutMs = kForever) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (calls().size() < n) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(20);
        }
        return true;
    }

private:
    QString m_folder;
};
