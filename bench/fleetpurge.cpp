// quellory_fleetbench: one purge of COUNT URLs on SERVERS squids at once, as a
// click on several selected servers starts it (RunningScripts: a listing and
// then the purge's lanes, each server's own), beside SERVERS `curl --parallel
// --parallel-max 8` runs of the same requests at once, one a server. Run under
// tools/local-cache-server (`make bench-fleet`): the run's squid on 127.0.0.1
// and SERVERS - 1 more started beside it on 127.0.0.2 and on, each with an
// origin port of its own; loopback only. The URLs are not cached, so each
// server's listing shows none of them and each URL is one PURGE (404) there.
// It prints the times, how long the report took once the last script had
// ended, and the process's peak memory.
//
//   quellory_fleetbench [SERVERS [COUNT]]   (default 20 10000)
#include "commands/actions/runningscripts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {
const QString kServerScript = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");

QString address(int server)
{
    return QStringLiteral("127.0.0.%1").arg(server + 1);
}

void startSquid(const QString &dir, int server)
{
    QProcess start;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUELLORY_ADDRESS"), address(server));
    env.insert(QStringLiteral("QUELLORY_ORIGIN_PORT"), QString::number(8081 + server));
    start.setProcessEnvironment(env);
    start.setProcessChannelMode(QProcess::ForwardedChannels);
    start.start(kServerScript, {QStringLiteral("start"), dir});
    if (!start.waitForFinished(-1) || start.exitCode() != 0)
        qFatal("squid on %s did not start", qPrintable(address(server)));
}

void stopSquid(const QString &dir)
{
    QProcess::execute(kServerScript, {QStringLiteral("stop"), dir});
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"))
        qFatal("run this under tools/local-cache-server");
    const int servers = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    if (servers < 1 || servers > 200 || count < 1)
        qFatal("quellory_fleetbench [SERVERS (1 to 200) [COUNT]]");
    QTemporaryDir root;
    QStringList squids;
    for (int s = 1; s < servers; ++s) {
        squids << root.filePath(QStringLiteral("squid-%1").arg(s));
        startSquid(squids.last(), s);
    }
    QStringList urls, addresses;
    for (int i = 0; i < count; ++i)
        urls << QStringLiteral("http://127.0.0.1:8081/fleet/%1").arg(i);
    for (int s = 0; s < servers; ++s)
        addresses << address(s);

    // The program, with curl (no squidclient beside it) and no guessed values.
    const QString folder = root.filePath(QStringLiteral("app"));
    QDir().mkpath(folder);
    QFile encodings(folder + QStringLiteral("/encodings.txt"));
    if (!encodings.open(QIODevice::WriteOnly))
        qFatal("cannot write encodings.txt");
    encodings.close();
    RunningScripts scripts{AppFolder(folder)};
    QString body;
    QObject::connect(&scripts, &RunningScripts::purgeNotice, [&body](quint64, const QString &text) { body = text; });
    QElapsedTimer clock;
    clock.start();
    scripts.purge(addresses, urls.join(QStringLiteral("\r\n")));
    qint64 endedAt = -1;
    while (scripts.purgeReportPending()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (endedAt < 0 && scripts.purgeReportBeingMade())
            endedAt = clock.nsecsElapsed();
    }
    const double program = clock.nsecsElapsed() / 1e9;
    const double report = endedAt < 0 ? 0 : program - endedAt / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%d servers x %d URLs through the program: %.2f s to the report (the report %.3f s after the "
                "last script ended); peak memory %.0f MiB\n%s\n",
                servers, count, program, report, usage.ru_maxrss / 1024.0, qPrintable(body));
    std::fflush(stdout);

    // The same requests: the listing and a PURGE a URL, a curl --parallel a server.
    std::vector<std::unique_ptr<QProcess>> curls;
    for (int s = 0; s < servers; ++s) {
        const QString config = root.filePath(QStringLiteral("curl-%1.cfg").arg(s));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write a curl config");
        QByteArray text = "url = \"http://" + address(s).toLatin1() + ":80/squid-internal-mgr/objects\"\n"
                          "output = \"/dev/null\"\n";
        for (const QString &url : std::as_const(urls)) {
            text += "next\nurl = \"" + url.toLatin1() + "\"\nrequest = \"PURGE\"\nproxy = \"http://"
                    + address(s).toLatin1() + ":80\"\noutput = \"/dev/null\"\n";
        }
        file.write(text);
        file.close();
        curls.push_back(std::make_unique<QProcess>());
        curls.back()->setStandardOutputFile(QProcess::nullDevice());
        curls.back()->setStandardErrorFile(QProcess::nullDevice());
        curls.back()->setProgram(QStringLiteral("curl"));
        curls.back()->setArguments({QStringLiteral("-q"), QStringLiteral("-sS"), QStringLiteral("--parallel"),
                                    QStringLiteral("--parallel-max"), QStringLiteral("8"), QStringLiteral("-K"),
                                    config});
    }
    clock.restart();
    for (auto &curl : curls)
        curl->start();
    for (auto &curl : curls)
        curl->waitForFinished(-1);
    const double reference = clock.nsecsElapsed() / 1e9;
    std::printf("the same requests in %d curl --parallel --parallel-max 8 at once: %.2f s; the program took %.2f "
                "times as long\n",
                servers, reference, program / reference);
    for (const QString &dir : std::as_const(squids))
        stopSquid(dir);
    return 0;
}
