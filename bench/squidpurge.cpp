// quellory_squidbench: what a purge of COUNT URLs with the default
// Accept-Encoding values (a PURGE and a GET for no header and each value)
// costs against a real Squid through the program's own script, in lanes, with
// curl and with Debian's squidclient, each beside the same requests sent as
// quickly as the clients themselves can: one `curl --parallel --parallel-max 8
// -K` of all of them, and `xargs -P8` squidclient. Run under
// tools/local-cache-server (`make bench-squid`): the forward proxy on
// 127.0.0.1:80, the origin on 127.0.0.1:8081, loopback only. Each URL is
// first cached under no header and every value, before each purge, so every
// one finds every copy; the figures are one run each.
//
//   quellory_squidbench [COUNT]   (default 10000)
#include "commands/actions/purge.h"
#include "commands/actions/purgereport.h"
#include "commands/scriptlines/cacheclient.h"
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

QString squidclient()
{
    return qEnvironmentVariable("QUELLORY_SQUIDCLIENT_5", QStandardPaths::findExecutable(QStringLiteral("squidclient")));
}

// A folder with `count` URLs of its own, cached under no header and every value.
QStringList prepare(const QString &app, const QString &name, int count, bool withSquidclient)
{
    QDir().mkpath(app);
    if (withSquidclient && (squidclient().isEmpty() || !QFile::link(squidclient(), app + QStringLiteral("/squidclient"))))
        qFatal("no squidclient to link beside the program");
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
    return urls;
}

// Purges `count` cached URLs through the program's script; prints and gives
// the seconds.
double purge(const QString &root, const QString &name, int count, bool withSquidclient)
{
    const QString app = root + QLatin1Char('/') + name;
    const QStringList urls = prepare(app, name, count, withSquidclient);
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
    std::printf("%s: %d URLs through the program's script: %.2f s, %.0f URLs a second; %d requests reached the "
                "origin; %s\n",
                qPrintable(name), count, seconds, count / seconds, originRequests() - before,
                qPrintable(report.body(QStringLiteral("127.0.0.1"))));
    std::fflush(stdout);
    return seconds;
}

// The same requests as fast as the client goes: all of them in one curl
// --parallel, or each squidclient call of the script under xargs -P8.
double reference(const QString &root, const QString &name, int count, bool withSquidclient)
{
    const QString app = root + QLatin1Char('/') + name;
    const QStringList urls = prepare(app, name, count, false);
    const AppFolder folder(app);
    const QString input = app + QStringLiteral("/requests");
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the requests");
    const QStringList values = EncodingList::defaults();
    QProcess client;
    client.setStandardOutputFile(QProcess::nullDevice());
    client.setStandardErrorFile(QProcess::nullDevice());
    if (withSquidclient) {
        const QString head = QStringLiteral("-h 127.0.0.1 -p 80 ");
        for (const QString &url : urls) {
            QString lines = head + QStringLiteral("-m purge ") + url + u'\n' + head + url + u'\n';
            for (const QString &value : values) {
                const QString header = QStringLiteral("-H 'Accept-Encoding: ") + value + QStringLiteral("\\n' ");
                lines += head + header + QStringLiteral("-m purge ") + url + u'\n' + head + header + url + u'\n';
            }
            file.write(lines.toUtf8());
        }
        file.close();
        client.setStandardInputFile(input);
        client.setProgram(QStringLiteral("xargs"));
        client.setArguments({QStringLiteral("-P8"), QStringLiteral("-L1"), squidclient()});
    } else {
        // The lanes' own config files, round after round.
        const auto append = [&file](const QString &config) {
            if (file.pos() > 0)
                file.write("next\n");
            file.write(config.toLocal8Bit());
        };
        const Purge::Lanes lanes{[&app] { return app + QStringLiteral("/x.run-00000000.bat"); },
                                 [&append](qsizetype, const QString &config) { append(config); }, {},
                                 [&append](qsizetype, qsizetype, const QString &config) { append(config); }};
        Purge::script(folder, QStringLiteral("127.0.0.1"), urls.join(QStringLiteral("\r\n")), ShellDialect::Sh,
                      CodePages::ofSystem(), CacheClient::curl(QStringLiteral("curl")),
                      [](qsizetype, const QString &, const QString &) {}, values, &lanes);
        file.close();
        client.setProgram(QStringLiteral("curl"));
        client.setArguments({QStringLiteral("-q"), QStringLiteral("-sS"), QStringLiteral("--parallel"),
                             QStringLiteral("--parallel-max"), QStringLiteral("8"), QStringLiteral("-K"), input});
    }
    QElapsedTimer clock;
    clock.start();
    client.start();
    if (!client.waitForFinished(-1))
        qFatal("the reference run failed");
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%s: the same requests %s: %.2f s\n", qPrintable(name),
                withSquidclient ? "under xargs -P8 squidclient" : "in one curl --parallel --parallel-max 8 -K",
                seconds);
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
    const double curl = purge(root.path(), QStringLiteral("curl"), count, false);
    const double parallel = reference(root.path(), QStringLiteral("curl-parallel"), count, false);
    std::printf("curl: the program's purge took %.2f times as long as one curl --parallel\n", curl / parallel);
    const double squidclient = purge(root.path(), QStringLiteral("squidclient"), count, true);
    const double xargs = reference(root.path(), QStringLiteral("squidclient-xargs"), count, true);
    std::printf("squidclient: the program's purge took %.2f times as long as xargs -P8\n", squidclient / xargs);
    return 0;
}
