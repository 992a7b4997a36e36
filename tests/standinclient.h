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
// stands in for: squidclient, or curl in a folder put on PATH. A purge's
// listing of the cache's objects is answered at once, unlogged, with an empty
// report: the cache holds nothing of its URLs but themselves. While a file
// "hold-listing" is in the folder, that answer waits.
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
                     "case \" $* \" in *' /squid-internal-mgr/objects '*)\n"
                     "  while [ -e \"${0%/*}/hold-listing\" ]; do sleep 0.02; done\n"
                     "  printf 'HTTP/1.1 200 OK\\r\\n\\r\\n'; exit 0;;\n"
                     "esac\n"
                     + curlConfig(before)
                     // A config file (curl's -K) is gone once the script has
                     // ended: its text is logged in its place. One printf, one
                     // write: the lanes of a purge record at once.
                     + "n=$#; for a in \"$@\"; do [ \"$p\" = -K ] && a=\"config:$(cat -- \"$a\")\"; p=$a; "
                     "set -- \"$@\" \"$a\"; done; shift $n\n"
                     "printf '%s\\0' \"$#\" \"$0\" \"$@\" >> \"$log\"\n"
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
    // curl ... -K FILE, the config last: each operation of the config file read as curl reads it
    // (a quoted value with its backslash escapes, "next" between operations)
    // and recorded as the command line that asks for the same: the options
    // before -K, then -i, -g, -x, -m, -H, -X, --request-target and the URL as
    // the operation gives them. Its answer goes to its output file or, like
    // its write-out (the status 200), to standard output.
    static QByteArray curlConfig(const QByteArray &before)
    {
        return "case \" $* \" in *' -K '*)\n"
               "  n=0; for a in \"$@\"; do [ \"$a\" = -K ] && break; n=$((n+1)); done\n"
               "  if [ $((n + 2)) -eq $# ]; then\n"
               "  eval \"k=\\${$((n+2))}\"\n"
               "  h=; i=0; for a in \"$@\"; do [ $i -lt $n ] && h=\"$h$a \"; i=$((i+1)); done\n"
               + before
               + "  awk -v h=\"$h\" -v p=\"$0\" -v lg=\"$log\" '\n"
                 "    function flush() { if (!ops) return; printf \"%d%s%s%s%s\", c + split(h, hh, \" \"), z, p, z, "
                 "hs >> lg; printf \"%s\", a >> lg; t = \"answer for \" last \"\\n\"; "
                 "if (o != \"\") printf \"%s\", t > o; else printf \"%s\", t; gsub(/%{http_code}/, \"200\", w); "
                 "printf \"%s\", w; a = \"\"; c = 0; o = \"\"; w = \"\"; ops = 0 }\n"
                 "    function arg(x) { a = a x z; c++; last = x }\n"
                 "    BEGIN { z = sprintf(\"%c\", 0); split(h, hh, \" \"); for (j = 1; j in hh; j++) hs = hs hh[j] z }\n"
                 "    { l = $0; sub(/^[ \\t]+/, \"\", l); if (l == \"\" || l ~ /^#/) next\n"
                 "      m = match(l, /[ \\t=:]/); name = m ? substr(l, 1, m - 1) : l; l = m ? substr(l, m) : \"\"\n"
                 "      sub(/^[ \\t=:]+/, \"\", l); v = \"\"\n"
                 "      if (substr(l, 1, 1) == \"\\\"\") { for (j = 2; j <= length(l); j++) { ch = substr(l, j, 1)\n"
                 "          if (ch == \"\\\"\") break\n"
                 "          if (ch == \"\\\\\") { ch = substr(l, ++j, 1); if (ch == \"t\") ch = \"\\t\"; "
                 "else if (ch == \"n\") ch = \"\\n\"; else if (ch == \"r\") ch = \"\\r\"; "
                 "else if (ch == \"v\") ch = \"\\v\" }\n"
                 "          v = v ch } }\n"
                 "      else { v = l; sub(/[ \\t].*/, \"\", v) }\n"
                 "      if (name == \"next\") { flush(); next }\n"
                 "      ops = 1\n"
                 "      if (name == \"include\") arg(\"-i\"); else if (name == \"globoff\") arg(\"-g\");\n"
                 "      else if (name == \"proxy\") { arg(\"-x\"); arg(v) } else if (name == \"header\") { arg(\"-H\"); arg(v) }\n"
                 "      else if (name == \"request\") { arg(\"-X\"); arg(v) } else if (name == \"max-time\") { arg(\"-m\"); arg(v) }\n"
                 "      else if (name == \"request-target\") { arg(\"--request-target\"); arg(v) }\n"
                 "      else if (name == \"url\") arg(v); else if (name == \"output\") o = v;\n"
                 "      else if (name == \"write-out\") w = v; else { arg(\"--\" name); arg(v) } }\n"
                 "    END { flush() }' \"$k\"\n"
                 "  exit 0; fi;;\n"
                 "esac\n";
    }

    QString m_folder;
};
