// One purge on a fleet of real squids at once, through RunningScripts as the
// window drives it: the machine's Squid (the run's own, on 127.0.0.1), 6.13
// refusing PURGE on 127.0.0.2, Squid 7.7 on 127.0.0.3 (each started beside the
// first with a folder and an origin port of its own) and 127.0.0.4, where
// nothing listens. Every server's result files, the one notification of all
// their counts, and no old copy left on the squids that allow PURGE.
#include "commands/actions/purge.h"
#include "commands/actions/purgeanswer.h"
#include "commands/actions/runningscripts.h"
#include "commands/actions/serverfolder.h"

#include "filebytes.h"
#include "waits.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kServerScript = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");

QByteArray run(const QString &program, const QStringList &args, const QStringList &env, int *exitCode)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : env)
        environment.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    process.waitForFinished(kForever);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAll();
}
} // namespace

class TestFleetEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void purgeOnFour();

private:
    QTemporaryDir m_dir;
    QStringList m_started; // the folders of the squids this test started
};

void TestFleetEndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"), "run this under tools/local-cache-server");
    const struct
    {
        const char *address, *version, *originPort, *refuse;
    } squids[] = {{"127.0.0.2", "6", "8082", "1"}, {"127.0.0.3", "7", "8083", "0"}};
    for (const auto &squid : squids) {
        const QString dir = m_dir.filePath(QString::fromLatin1(squid.address));
        int code = -1;
        const QByteArray said = run(kServerScript, {QStringLiteral("start"), dir},
                                    {QStringLiteral("QUELLORY_ADDRESS=") + squid.address,
                                     QStringLiteral("QUELLORY_SQUID_VERSION=") + squid.version,
                                     QStringLiteral("QUELLORY_ORIGIN_PORT=") + squid.originPort,
                                     QStringLiteral("QUELLORY_REFUSE_PURGE=") + squid.refuse},
                                    &code);
        QVERIFY2(code == 0, said.constData());
        qInfo("%s", said.trimmed().constData());
        m_started << dir;
    }
    // squidclient beside the program, as make install puts it.
    QVERIFY(QFile::link(QStringLiteral("/usr/bin/squidclient"), m_dir.filePath(QStringLiteral("squidclient"))));
    // No guessed values: each copy is refreshed as the server lists it.
    QVERIFY(FileBytes::write(m_dir.filePath(QStringLiteral("encodings.txt")), QByteArray()));
}

void TestFleetEndToEnd::cleanupTestCase()
{
    for (const QString &dir : std::as_const(m_started)) {
        int code = -1;
        run(kServerScript, {QStringLiteral("stop"), dir}, {}, &code);
    }
}

void TestFleetEndToEnd::purgeOnFour()
{
    const QString nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
    const QStringList urls{QStringLiteral("http://127.0.0.1:8081/vary/fleet-a?") + nonce,
                           QStringLiteral("http://127.0.0.1:8081/vary/fleet-b?") + nonce,
                           QStringLiteral("http://127.0.0.1:8081/fleet-never?") + nonce};
    const QStringList values{QString(), QStringLiteral("identity"), QStringLiteral("gzip")};
    const auto get = [](const QString &proxy, const QString &url, const QString &value) {
        QStringList args{QStringLiteral("-sS"), QStringLiteral("-x"), QStringLiteral("http://%1:80").arg(proxy), url};
        if (!value.isNull())
            args << QStringLiteral("-H") << QStringLiteral("Accept-Encoding: ") + value;
        int code = -1;
        const QByteArray body = run(QStringLiteral("/usr/bin/curl"), args, {}, &code);
        return code == 0 ? body : QByteArray("curl failed: ") + body;
    };
    const QStringList proxies{"127.0.0.1", "127.0.0.2", "127.0.0.3"};
    QHash<QString, QByteArray> old;
    for (const QString &proxy : proxies) {
        for (qsizetype u = 0; u < 2; ++u) {
            for (const QString &value : values) {
                const QString key = proxy + urls.at(u) + value;
                old[key] = get(proxy, urls.at(u), value);
                QVERIFY2(!old[key].startsWith("curl failed"), old[key].constData());
                QCOMPARE(get(proxy, urls.at(u), value), old[key]); // cached
            }
        }
    }

    const AppFolder app(m_dir.path());
    RunningScripts scripts(app);
    QString body;
    connect(&scripts, &RunningScripts::purgeNotice, this, [&body](quint64, const QString &text) { body = text; });
    scripts.purge(QStringList{"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}, urls.join(QStringLiteral("\r\n")));
    QTRY_VERIFY_WITH_TIMEOUT(!scripts.purgeReportPending(), kForever);
    QCOMPARE(body, QStringLiteral("127.0.0.1: 3 URLs — purged 2 (6 copies), not in the cache 1\n"
                                  "127.0.0.2: 3 URLs — refused 3\n"
                                  "127.0.0.3: 3 URLs — purged 2 (6 copies), not in the cache 1\n"
                                  "127.0.0.4: cannot connect\n"
                                  "Not purged: URL line 1 (nslookup0.txt) on 127.0.0.2; …"));
    // Each server's answers in its own files: the first in the program's folder.
    const auto folderOf = [&app](const QString &server) {
        return server == QLatin1String("127.0.0.1")
                ? app
                : app.withResultsIn(ServerFolder::rootPath(app) + u'/' + ServerFolder::name(server));
    };
    const QList<QByteArray> statuses{"200", "403", "200", "ERROR"};
    // And from the squid asked.
    QVERIFY(FileBytes::read(Purge::resultPath(folderOf("127.0.0.2"), 0)).contains("\r\nServer: squid/6."));
    QVERIFY(FileBytes::read(Purge::resultPath(folderOf("127.0.0.3"), 0)).contains("\r\nServer: squid/7."));
    for (qsizetype s = 0; s < 4; ++s) {
        const AppFolder folder = folderOf(QStringLiteral("127.0.0.%1").arg(s + 1));
        for (int line = 0; line < 3; ++line) {
            const QByteArray answer = FileBytes::read(Purge::resultPath(folder, line));
            const QByteArray expected = statuses.at(s) == "200" && line == 2 ? "404" : statuses.at(s);
            QVERIFY2(answer.startsWith("HTTP/1.1 " + expected) || answer.startsWith(expected), answer.left(200).constData());
        }
    }
    // No old copy where PURGE is allowed; every one where it is not.
    for (const QString &proxy : proxies) {
        for (qsizetype u = 0; u < 2; ++u) {
            for (const QString &value : values) {
                const QByteArray now = get(proxy, urls.at(u), value);
                if (proxy == QLatin1String("127.0.0.2"))
                    QCOMPARE(now, old[proxy + urls.at(u) + value]);
                else
                    QVERIFY2(now != old[proxy + urls.at(u) + value], qPrintable(proxy + urls.at(u) + value));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestFleetEndToEnd)
#include "tst_fleet_e2e.moc"
