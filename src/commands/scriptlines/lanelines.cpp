#include "commands/scriptlines/lanelines.h"

#include "commands/scriptlines/shellquote.h"

namespace {
// Runs once curl has ended, over its write-outs ("<mark> <line>.<value>.<last>
// <status> <header bytes> <body bytes>", in the order the requests ended).
// A request that failed is one whose status is 000, and each of those, in
// that order, has the next error line of curl's, whichever curl wrote first
// of the error and the write-out; the error line is added to what the request
// wrote to its file (F's result file, or D's part of a line with several
// values), or is all of it when nothing came, so that no earlier purge's
// answer stays. A line of several values, once its last has come, becomes
// its parts joined in their order in the result file; RS is then the mark,
// which no answer holds, so that each part is read whole. Anything else on
// curl's output is no write-out of ours and is passed over.
const char *const kJoin
        = "BEGIN { while ((getline l < ENVIRON[\"E\"]) > 0) if (l ~ /^curl: [(]/) e[n++] = l \"\\n\"; ORS = \"\"; "
          "K = \"\\001\" ENVIRON[\"M\"] \"\\001\" } "
          "$1 != K || $2 !~ /^[0-9]+[.][0-9]+[.][0-9]+$/ { next } "
          "{ x = \"\"; if ($3 == \"000\" && u < n) x = e[u++]; split($2, g, \".\"); "
          "o = g[3] > 0 ? ENVIRON[\"D\"] \"/\" g[1] \".\" g[2] : ENVIRON[\"F\"] \"/nslookup\" g[1] \".txt\"; "
          "if ($4 + $5 == 0) { printf \"%s\", x > o; close(o) } else if (x != \"\") { printf \"%s\", x >> o; close(o) } "
          "if (g[3] > 0 && ++s[g[1]] > g[3]) { j[m++] = g[1]; k[g[1]] = g[3] } } "
          "END { RS = K; for (i = 0; i < m; i++) { a = \"\"; "
          "for (v = 0; v <= k[j[i]]; v++) { p = ENVIRON[\"D\"] \"/\" j[i] \".\" v; t = \"\"; "
          "if ((getline t < p) > 0) a = a t; close(p) } "
          "o = ENVIRON[\"F\"] \"/nslookup\" j[i] \".txt\"; printf \"%s\", a > o; close(o) } }";

QString join(const QString &prefix, const char *what)
{
    return prefix + QLatin1Char('.') + QLatin1String(what);
}
} // namespace

LaneLines::LaneLines(ShellDialect dialect, const SquidclientLine &command, const QString &mark, qsizetype lanes)
    : m_dialect(dialect)
    , m_command(command)
    , m_mark(mark)
    , m_lanes(lanes)
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

QString LaneLines::roundPath(const QString &prefix, qsizetype round)
{
    return round == 0 ? configPath(prefix) : prefix + QStringLiteral(".%1.cfg").arg(round);
}

QString LaneLines::partPath(const QString &prefix, qsizetype urlLine, qsizetype value)
{
    return prefix + QStringLiteral(".d/%1.%2").arg(urlLine).arg(value);
}

QString LaneLines::answersPath(const QString &prefix)
{
    return join(prefix, "out");
}

QString LaneLines::writeOut(qsizetype urlLine, qsizetype value, qsizetype last) const
{
    QString which = urlLine < 0 ? QStringLiteral("-") : QStringLiteral("%1.%2").arg(urlLine).arg(value);
    // sh's lanes: with how much came, which tells an answer that failed part
    // way from one that never began.
    const bool sized = urlLine >= 0 && last >= 0;
    if (sized)
        which += QLatin1Char('.') + QString::number(last);
    return QLatin1Char('\x01') + m_mark + QLatin1Char('\x01') + QLatin1Char(' ') + which
            + QStringLiteral(" %{http_code}") + (sized ? QStringLiteral(" %{size_header} %{size_download}") : QString())
            + QLatin1Char('\n');
}

QStringList LaneLines::curl(const QString &prefix, const QString &folder, qsizetype rounds) const
{
    const auto q = [this](const QString &text) { return ShellQuote::quote(m_dialect, text); };
    // curl's parallel mode, as many transfers at once as a purge has lanes,
    // each PURGE's answer straight into its own file; its progress meter,
    // which -s does not keep off in that mode, would glue the first error
    // line to its own. A round's curl starts once the one before has ended;
    // the PURGEs' write-outs and errors follow one another in one file each,
    // and the GETs' answers are not kept.
    // The prefix once, quoted; each file name then joins it inside double
    // quotes, where nothing of it is read again.
    // Its files for the owner alone: the parts, and the result files.
    const QString parallel = m_command.laneHead() + QStringLiteral(" --no-progress-meter --parallel --parallel-max ")
            + QString::number(m_lanes) + QStringLiteral(" -K \"$P.");
    QStringList lines{QStringLiteral("umask 077"), QStringLiteral("P=") + q(prefix),
                      QStringLiteral("mkdir -m 700 -- \"$P.d\""),
                      parallel + QStringLiteral("cfg\" > \"$P.out\" 2> \"$P.err\"")};
    for (qsizetype round = 1; round < rounds; ++round) {
        lines << parallel + QString::number(round)
                        + (round % 2 ? QStringLiteral(".cfg\" > /dev/null 2>&1")
                                     : QStringLiteral(".cfg\" >> \"$P.out\" 2>> \"$P.err\""));
    }
    lines << QStringLiteral("M=") + m_mark + QStringLiteral(" E=\"$P.err\" D=\"$P.d\" F=") + q(folder)
                    + QStringLiteral(" awk \"$J\" \"$P.out\"")
          << QStringLiteral("rm -rf -- \"$P\".*");
    return lines;
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
