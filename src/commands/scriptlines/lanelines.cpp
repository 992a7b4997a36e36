#include "commands/scriptlines/lanelines.h"

#include "commands/scriptlines/shellquote.h"

namespace {
// Splits a lane's answers at the marks (RS, a pattern of the mark) and writes
// each URL line's PURGE answers, in their order, to a file in D. A request
// that failed is one whose status is 000, and each of those, in order, has
// the next error line of curl's, whichever curl wrote first of the error and
// the write-out. A line is written only once its last value is there: each
// PURGE's write-out names it ("<line>.<value>.<last>").
const char *const kJoin
        = "BEGIN { while ((getline l < ENVIRON[\"E\"]) > 0) if (l ~ /^curl: [(]/) e[n++] = l \"\\n\"; "
          "RS = \"\\001\" ENVIRON[\"M\"] \"\\001\"; ORS = \"\" } "
          "NR > 1 { c = index($0, \"\\n\"); split(substr($0, 1, c - 1), f, \" \"); x = \"\"; "
          "if (f[2] == \"000\" && u < n) x = e[u++]; "
          "if (f[1] != \"-\") { split(f[1], g, \".\"); if (g[2] == 0) a = \"\"; a = a b x; "
          "if (g[2] == g[3]) { o = ENVIRON[\"D\"] \"/nslookup\" g[1] \".txt\"; printf \"%s\", a > o; "
          "close(o) } } b = substr($0, c + 1); next } "
          "{ b = $0 }";

QString join(const QString &prefix, const char *what)
{
    return prefix + QLatin1Char('.') + QLatin1String(what);
}
} // namespace

LaneLines::LaneLines(ShellDialect dialect, const SquidclientLine &command, const QString &mark)
    : m_dialect(dialect)
    , m_command(command)
    , m_mark(mark)
{ }

QString LaneLines::curlPrologue() const
{
    return QStringLiteral("J=") + ShellQuote::quote(m_dialect, QLatin1String(kJoin));
}

QString LaneLines::open() const
{
    return QStringLiteral("(");
}

QString LaneLines::close() const
{
    return QStringLiteral(") &");
}

QString LaneLines::waitAll() const
{
    return QStringLiteral("wait");
}

QString LaneLines::configPath(const QString &prefix)
{
    return join(prefix, "cfg");
}

QString LaneLines::answersPath(const QString &prefix)
{
    return join(prefix, "out");
}

QString LaneLines::writeOut(qsizetype urlLine, qsizetype value, qsizetype last) const
{
    QString which = urlLine < 0 ? QStringLiteral("-") : QStringLiteral("%1.%2").arg(urlLine).arg(value);
    if (urlLine >= 0 && last >= 0)
        which += QLatin1Char('.') + QString::number(last);
    return QLatin1Char('\x01') + m_mark + QLatin1Char('\x01') + QLatin1Char(' ') + which
            + QStringLiteral(" %{http_code}\n");
}

QStringList LaneLines::curl(const QString &prefix, const QString &folder) const
{
    const auto q = [this](const QString &text) { return ShellQuote::quote(m_dialect, text); };
    // curl's parallel mode one transfer at a time runs the operations in
    // their order, as its serial mode does, for about a quarter less of its
    // time a request; its progress meter, which -s does not keep off in that
    // mode, would glue the first error line to its own.
    // The prefix once, quoted; each file name then joins it inside double
    // quotes, where nothing of it is read again.
    // Its files for the owner alone: the answers, and the result files they
    // become.
    return {QStringLiteral("umask 077"), QStringLiteral("P=") + q(prefix),
            m_command.laneHead() + QStringLiteral(" --no-progress-meter --parallel --parallel-max 1 -K \"$P.cfg\" > \"$P.out\"")
                    + QStringLiteral(" 2> \"$P.err\""),
            QStringLiteral("mkdir -m 700 -- \"$P.d\" && M=") + m_mark + QStringLiteral(" E=\"$P.err\" D=\"$P.d\"")
                    + QStringLiteral(" awk \"$J\" \"$P.out\" && mv -f -- \"$P.d\"/* ") + q(folder + QLatin1Char('/'))
                    + QStringLiteral(" 2>/dev/null"),
            QStringLiteral("rm -rf -- \"$P\".*")};
}

namespace {
QString here(const QString &name, const char *what)
{
    return QStringLiteral("\".\\") + name + QLatin1Char('.') + QLatin1String(what) + QLatin1Char('"');
}
} // namespace

QString LaneLines::cmdStart(const QString &name) const
{
    // The system's own cmd.exe, as the program starts the script with, never
    // one of the folder's; the lane's name is ours and plain.
    return QStringLiteral("start \"\" /b \"%SystemRoot%\\System32\\cmd.exe\" /d /v:off /s /c ")
            + here(name, "bat");
}

QStringList LaneLines::cmdWait(const QStringList &names)
{
    QStringList lines{QStringLiteral(":lanes")};
    QString ends;
    for (const QString &name : names) {
        lines << QStringLiteral("if not exist ") + here(name, "end") + QStringLiteral(" goto lanes_sleep");
        ends += QLatin1Char(' ') + here(name, "end");
    }
    // A second between looks; ping is the one pause of every Windows that
    // needs no console to read from.
    lines << QStringLiteral("goto lanes_done") << QStringLiteral(":lanes_sleep")
          << QStringLiteral("\"%SystemRoot%\\System32\\PING.EXE\" -n 2 127.0.0.1 > NUL 2>&1")
          << QStringLiteral("goto lanes") << QStringLiteral(":lanes_done")
          << QStringLiteral("del") + ends + QStringLiteral(" > NUL 2>&1");
    return lines;
}

QString LaneLines::cmdEnd(const QString &name)
{
    // One line, read whole before it runs: once the file is gone cmd.exe
    // reads no more of it, and once the mark is there the lane is gone too.
    return QStringLiteral("del ") + here(name, "bat") + QStringLiteral(" & type NUL > ") + here(name, "end");
}

QString LaneLines::cmdPart(const QString &name, qsizetype urlLine, qsizetype value)
{
    return QStringLiteral(".\\%1.d\\%2.%3").arg(name).arg(urlLine).arg(value);
}

QString LaneLines::cmdFailed(const QString &name, qsizetype urlLine, qsizetype value)
{
    return cmdPart(name, urlLine, value) + QStringLiteral(".f");
}

QStringList LaneLines::cmdCurlHead(const QString &name) const
{
    // The write-out is "<mark> <URL line>.<value> <status>", or "<mark> -
    // <status>" for a GET, whose "<status>" then never equals a value number.
    return {QStringLiteral("mkdir ") + here(name, "d") + QStringLiteral(" > NUL 2>&1"),
            m_command.laneHead() + QStringLiteral(" -K ") + here(name, "cfg") + QStringLiteral(" > ")
                    + here(name, "out") + QStringLiteral(" 2> ") + here(name, "err"),
            QStringLiteral("del ") + here(name, "cfg") + QStringLiteral(" > NUL 2>&1"),
            QStringLiteral("for /f \"usebackq tokens=2-4 delims=. \" %%a in (") + here(name, "out")
                    + QStringLiteral(") do if \"%%c\"==\"000\" type NUL > \".\\") + name
                    + QStringLiteral(".d\\%%a.%%b.f\"")};
}

QStringList LaneLines::cmdCurlTail(const QString &name, const QList<std::pair<qsizetype, qsizetype>> &lines)
{
    // A line each: its values differ in number from line to line.
    const QString joined = QStringLiteral("\".\\") + name + QStringLiteral(".d\\j\"");
    QStringList tail;
    tail.reserve(lines.size() + 2);
    for (const auto &[line, last] : lines) {
        QString parts;
        for (qsizetype value = 0; value <= last; ++value)
            parts += (value ? QStringLiteral("+") : QString()) + QLatin1Char('"') + cmdPart(name, line, value)
                    + QLatin1Char('"');
        tail << QStringLiteral("if exist \"") + cmdPart(name, line, last) + QStringLiteral("\" copy /b ") + parts
                        + QLatin1Char(' ') + joined + QStringLiteral(" > NUL && move /y ") + joined
                        + QStringLiteral(" \".\\") + QStringLiteral("nslookup%1.txt").arg(line) + QStringLiteral("\" > NUL");
    }
    tail << QStringLiteral("rd /s /q ") + here(name, "d") + QStringLiteral(" > NUL 2>&1")
         << QStringLiteral("del ") + here(name, "out") + QLatin1Char(' ') + here(name, "err")
                    + QStringLiteral(" > NUL 2>&1");
    return tail;
}

qsizetype LaneLines::lastAnswered(QByteArrayView tail, const QString &mark)
{
    const QByteArray key = '\x01' + mark.toLatin1() + "\x01 ";
    qsizetype at = tail.size();
    // The last mark of a PURGE's answer; a GET's ("-") says nothing new.
    while ((at = tail.first(at).lastIndexOf(key)) >= 0) {
        const QByteArrayView rest = tail.sliced(at + key.size());
        const qsizetype dot = rest.indexOf('.');
        const qsizetype blank = rest.indexOf(' ');
        if (dot > 0 && (blank < 0 || dot < blank)) {
            bool ok = false;
            const qsizetype line = rest.first(dot).toLongLong(&ok);
            if (ok)
                return line;
        }
    }
    return -1;
}
