// quellory_squidbench: what a purge of COUNT URLs costs against a real Squid,
// today's one PURGE a URL line beside the PURGE and GET per Accept-Encoding
// value (EncodingList's defaults), each through the program's own script with
// Debian's squidclient. Run under tools/local-cache-server (`make bench-squid`):
// the forward proxy on 127.0.0.1:80, the origin on 127.0.0.1:8081, loopback
// only. Each URL is first cached under no header and every value, so both
// purges find every copy; the figures are one run each.
//
//   quellory_squidbench [COUNT]   (default 10000)
#include "commands/actions/purge.h"
#include "commands/actions/purgereport.h"
#include "commands/scripts/scriptrunner.h"
#include "storage/encodinglist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {
// Fetches every URL of the file at argv[1] once per value of the rest through
// the proxy, over one kept-alive connection: far quicker than a process per
// request.
const char *const kFill = R"(
import http.client, sys
urls = open(sys.argv[1]).read().split()
values = sys.argv[2:]
conn = http.client.HTTPConnection("127.0.0.1", 80)
for url in urls:
    for value in values:
        # No header at all for the empty value (http.client adds "identity").
        conn.putrequest("GET", url, skip_accept_encoding=True)
        if value:
            conn.putheader("Accept-Encoding", value)
        conn.endheaders()
        answer = conn.getresponse()
        answer.read()
        if answer.status != 200:
            sys.exit("%s: %d" % (url, answer.status))
)";

int originRequests()
{
    QFile log(qEnvironmentVariable("QUELLORY_CACHE_SERVER_DIR") + QStringLiteral("/origin.log"));
    if (!log.open(QIODevice::ReadOnly))
        qFatal("cannot read the origin's log");
    return int(log.readAll().count("\"GET /vary/"));
}

// Purges `count` cached URLs with these values; prints and gives the seconds.
double purge(const QString &root, const QString &name, int count, const QStringList &values)
{
    const QString app = root + QLatin1Char('/') + name;
    QDir().mkpath(app);
    const QString client = qEnvironmentVariable("QUELLORY_SQUIDCLIENT_5",
                                                QStandardPaths::findExecutable(QStringLiteral("squidclient")));
    if (client.isEmpty() || !QFile::link(client, app + QStringLiteral("/squidclient")))
        qFatal("no squidclient to link beside the program");
    QFile encodings(app + QStringLiteral("/encodings.txt"));
    if (!encodings.open(QIODevice::WriteOnly) || encodings.write(values.join(QStringLiteral("\r\n")).toUtf8()) < 0)
        qFatal("cannot write encodings.txt");
    encodings.close();
    QStringList urls;
    for (int i = 0; i < count; ++i)
        urls << QStringLiteral("http://127.0.0.1:8081/vary/%1/%2").arg(name).arg(i);
    QFile list(app + QStringLiteral("/urls"));
    if (!list.open(QIODevice::WriteOnly) || list.write(urls.join(u'\n').toUtf8()) < 0)
        qFatal("cannot write the URL list");
    list.close();
    QProcess fill;
    fill.setProcessChannelMode(QProcess::ForwardedChannels);
    fill.start(QStringLiteral("python3"),
               QStringList{QStringLiteral("-c"), QString::fromLatin1(kFill), list.fileName(), QString()}
                       + EncodingList::defaults());
    if (!fill.waitForFinished(-1) || fill.exitCode() != 0)
        qFatal("caching the URLs failed");

    const int before = originRequests();
    const AppFolder folder(app);
    QElapsedTimer clock;
    clock.start();
    ScriptRunner::StartedScript started;
    QList<qsizetype> lines;
    Purge::run(folder, QStringLiteral("127.0.0.1"), urls.join(QStringLiteral("\r\n")), &started, &lines);
    while (ScriptRunner::isRunning(started))
        QThread::msleep(10);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const PurgeReport report = PurgeReport::collect(folder, lines);
    std::printf("%s: %d URLs, %lld Accept-Encoding values: %.2f s, %.0f URLs a second; %d requests reached the "
                "origin; %s\n",
                qPrintable(name), count, static_cast<long long>(values.size()), seconds, count / seconds,
                originRequests() - before, qPrintable(report.body(QStringLiteral("127.0.0.1"))));
    std::fflush(stdout);
    return seconds;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"))
        qFatal("run this under tools/local-cache-server");
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTemporaryDir root;
    const double oneLine = purge(root.path(), QStringLiteral("one-line"), count, QStringList());
    const double values = purge(root.path(), QStringLiteral("values"), count, EncodingList::defaults());
    std::printf("the values' purge took %.1f times as long as the one-line purge\n", values / oneLine);
    return 0;
}
