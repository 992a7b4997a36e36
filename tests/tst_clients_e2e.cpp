// Every client against a real Squid through the program's own scripts: a purge
// of a cached object (200) and of it again (404), mgr:info, with a
// cachemgr_passwd the right (200) and a wrong password (401), and last a purge
// of the squid restarted refusing PURGE (403). CTest runs this under
// tools/local-cache-server once per server and kind of port 80, naming the
// Squid major version that must answer (QUELLORY_MATRIX_SERVER), the clients
// (QUELLORY_MATRIX_CLIENTS) and whether there are password rows
// (QUELLORY_MATRIX_PASSWORD); one asked for and not there fails the run.
// variants: a URL cached under every default Accept-Encoding value (the origin's
// /vary/ answers Vary: Accept-Encoding) is purged through the program's script,
// then fetched with each value: no old copy may come back.
#include "commands/purge.h"
#include "commands/purgeanswer.h"
#include "commands/purgereport.h"
#include "commands/scriptrunner.h"
#include "commands/scriptwriter.h"
#include "commands/statusquery.h"

#include "storage/encodinglist.h"

#include "filebytes.h"
#include "waits.h"

#include <QDateTime>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray run(const QString &program, const QStringList &args, int *exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    process.waitForFinished(kForever);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAll();
}

QString env(const char *name, const QString &fallback = QString())
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// The status of a result file, or its start when it holds none.
QByteArray statusOf(const QString &path)
{
    const QByteArray bytes = FileBytes::read(path);
    const int status = PurgeAnswer::sort(bytes).status;
    return status ? QByteArray::number(status) : bytes.left(200);
}
} // namespace

class TestClientsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void variants_data();
    void variants();
    void answers_data();
    void answers();

private:
    // The client's program, for a row's client name.
    static QString clientProgram(const QString &client);
    // A fresh application folder for this row with that client: squidclient
    // beside the program, or none and curl first on PATH.
    AppFolder clientFolder(const QString &client);
    // Restarts squid, refusing PURGE or not.
    void restart(bool refusing);
    // The URL of a cached object at `path` on port 80, a forward proxy or an
    // accelerator, with this run's nonce.
    QString objectUrl(const QString &path) const;
    // GET through port 80 with that Accept-Encoding (none when empty).
    QByteArray fetch(const QString &url, const QString &encoding);

    QTemporaryDir m_dir;
    QString m_nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
    bool m_refusing = false;
};

void TestClientsEndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"), "run this under tools/local-cache-server");
    QVERIFY2(env("QUELLORY_MATRIX_PASSWORD") != QLatin1String("1") || !env("QUELLORY_CACHEMGR_PASSWORD").isEmpty(),
             "password rows asked for, but this local-cache-server sets no QUELLORY_CACHEMGR_PASSWORD");
}

void TestClientsEndToEnd::answers_data()
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("request"); // empty: a purge
    QTest::addColumn<QByteArray>("status");
    const QStringList clients = env("QUELLORY_MATRIX_CLIENTS").split(u' ', Qt::SkipEmptyParts);
    const QString password = env("QUELLORY_CACHEMGR_PASSWORD");
    for (const QString &client : clients) {
        const QByteArray c = client.toLatin1();
        QTest::addRow("%s purge", c.constData()) << client << QString() << QByteArray("200 404");
        QTest::addRow("%s mgr:info", c.constData()) << client << QStringLiteral("mgr:info") << QByteArray("200");
        if (env("QUELLORY_MATRIX_PASSWORD") == QLatin1String("1")) {
            QTest::addRow("%s right password", c.constData())
                    << client << QStringLiteral("mgr:counters@") + password << QByteArray("200");
            QTest::addRow("%s wrong password", c.constData())
                    << client << QStringLiteral("mgr:counters@x") + password << QByteArray("401");
        }
    }
    for (const QString &client : clients) // last: they restart squid
        QTest::addRow("%s refused purge", client.toLatin1().constData()) << client << QString() << QByteArray("403");
}

void TestClientsEndToEnd::answers()
{
    QFETCH(QString, client);
    QFETCH(QString, request);
    QFETCH(QByteArray, status);
    if ((status == "403") != m_refusing)
        restart(status == "403");
    QVERIFY(!QTest::currentTestFailed());
    const AppFolder folder = clientFolder(client);
    QVERIFY(!QTest::currentTestFailed());
    // One PURGE a URL line: the Accept-Encoding values are variants'.
    QVERIFY(FileBytes::write(EncodingList(folder).filePath(), QByteArray()));
    int code = -1;

    ScriptRunner::StartedScript started;
    QString result = StatusQuery::resultPath(folder);
    if (!request.isEmpty()) {
        ScriptWriter writer(StatusQuery::scriptPath(folder));
        writer.writeRunCopy();
        writer.writeLine(StatusQuery::script(folder, QStringLiteral("127.0.0.1"), request, nativeShellDialect(),
                                             CodePages::ofSystem(), CacheClient::find(folder)));
        writer.close();
        started = ScriptRunner::start(writer.runPath());
    } else {
        // Port 80 a forward proxy: an origin's URL, cached through it. An
        // accelerator: the site's own URL, whose objects it caches.
        const bool accel = env("QUELLORY_ACCEL_PORT") == QLatin1String("80");
        const QString url = objectUrl(folder.path().section(u'/', -1));
        const QString proxy = accel ? QString() : QStringLiteral("http://127.0.0.1:80");
        const QByteArray fetched
                = run(QStringLiteral("/usr/bin/curl"),
                      {QStringLiteral("-q"), QStringLiteral("-sSi"), QStringLiteral("-x"), proxy, url}, &code);
        QVERIFY2(code == 0, fetched.constData());
        Purge::run(folder, QStringLiteral("127.0.0.1"), status == "403" ? url : url + QStringLiteral("\r\n") + url,
                   &started);
        result = Purge::resultPath(folder, 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
    QByteArray got = statusOf(result);
    if (status == "200 404")
        got += ' ' + statusOf(Purge::resultPath(folder, 1));
    QCOMPARE(got, status);
    // The answer comes from the squid this run asked for.
    const QByteArray server = "\r\nServer: squid/" + qgetenv("QUELLORY_MATRIX_SERVER") + '.';
    QVERIFY2(FileBytes::read(result).contains(server), FileBytes::read(result).left(300).constData());
}

QString TestClientsEndToEnd::clientProgram(const QString &client)
{
    return client == QLatin1String("curl") ? env("QUELLORY_CURL", QStringLiteral("/usr/bin/curl"))
            : client == QLatin1String("squidclient5")
            ? env("QUELLORY_SQUIDCLIENT_5", QStringLiteral("/usr/bin/squidclient"))
            : env(client == QLatin1String("squidclient6") ? "QUELLORY_SQUIDCLIENT_6" : "-");
}

AppFolder TestClientsEndToEnd::clientFolder(const QString &client)
{
    const QString program = clientProgram(client);
    [&] { QVERIFY2(QFile::exists(program), qPrintable(client + QStringLiteral(" is not there: ") + program)); }();
    // Each a wrapper, as a fetched client finds its libraries from its own path.
    const QString app = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u'-'
                                       + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    const bool curl = client == QLatin1String("curl");
    QDir().mkpath(app + QStringLiteral("/bin"));
    const QString wrapper = app + (curl ? QStringLiteral("/bin/curl") : QStringLiteral("/squidclient"));
    FileBytes::write(wrapper, "#!/bin/sh\nexec '" + program.toLocal8Bit() + "' \"$@\"\n");
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::ExeOwner);
    static const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(app) + "/bin:" + path);
    return AppFolder(app);
}

void TestClientsEndToEnd::restart(bool refusing)
{
    const QString tool = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");
    int code = -1;
    const QByteArray stopped = run(tool, {QStringLiteral("stop")}, &code);
    QVERIFY2(code == 0, stopped.constData());
    if (refusing)
        qputenv("QUELLORY_REFUSE_PURGE", "1");
    else
        qunsetenv("QUELLORY_REFUSE_PURGE");
    const QByteArray started = run(tool, {QStringLiteral("start")}, &code);
    QVERIFY2(code == 0, started.constData());
    m_refusing = refusing;
}

QString TestClientsEndToEnd::objectUrl(const QString &path) const
{
    // Port 80 a forward proxy: an origin's URL, cached through it. An
    // accelerator: the site's own URL, whose objects it caches.
    const bool accel = env("QUELLORY_ACCEL_PORT") == QLatin1String("80");
    return QStringLiteral("http://127.0.0.1:%1/%2?%3")
            .arg(accel ? QStringLiteral("80") : env("QUELLORY_ORIGIN_PORT", QStringLiteral("8081")), path, m_nonce);
}

QByteArray TestClientsEndToEnd::fetch(const QString &url, const QString &encoding)
{
    const bool accel = env("QUELLORY_ACCEL_PORT") == QLatin1String("80");
    QStringList args = {QStringLiteral("-q"), QStringLiteral("-sS"), QStringLiteral("-x"),
                        accel ? QString() : QStringLiteral("http://127.0.0.1:80")};
    if (!encoding.isEmpty())
        args << QStringLiteral("-H") << QStringLiteral("Accept-Encoding: ") + encoding;
    int code = -1;
    const QByteArray body = run(QStringLiteral("/usr/bin/curl"), args << url, &code);
    return code == 0 ? body : "curl failed: " + body;
}

void TestClientsEndToEnd::variants_data()
{
    // One row per client and case; the values are EncodingList's defaults,
    // the server this run's.
    QTest::addColumn<QString>("client");
    QTest::addColumn<PurgeAnswer::Group>("group");
    const QStringList clients = env("QUELLORY_MATRIX_CLIENTS").split(u' ', Qt::SkipEmptyParts);
    for (const QString &client : clients) {
        const QByteArray c = client.toLatin1();
        QTest::addRow("%s cached under every value", c.constData()) << client << PurgeAnswer::Group::Purged;
        QTest::addRow("%s not cached", c.constData()) << client << PurgeAnswer::Group::NotCached;
    }
    for (const QString &client : clients) // last: they restart squid
        QTest::addRow("%s refused", client.toLatin1().constData()) << client << PurgeAnswer::Group::Refused;
}

void TestClientsEndToEnd::variants()
{
    QFETCH(QString, client);
    QFETCH(PurgeAnswer::Group, group);
    using G = PurgeAnswer::Group;
    if ((group == G::Refused) != m_refusing)
        restart(group == G::Refused);
    QVERIFY(!QTest::currentTestFailed());
    const AppFolder folder = clientFolder(client);
    QVERIFY(!QTest::currentTestFailed());
    const QStringList values = QStringList{QString()} + EncodingList::defaults();
    const QString url = objectUrl(QStringLiteral("vary/") + folder.path().section(u'/', -1));
    QByteArrayList old;
    if (group != G::NotCached) {
        for (const QString &value : values)
            old << fetch(url, value);
        // Cached: asked again, each value gets its own copy back.
        for (qsizetype i = 0; i < values.size(); ++i) {
            QVERIFY2(old.at(i).contains(" for " + (values.at(i).isEmpty() ? "(none)" : values.at(i).toLatin1()) + " #"),
                     old.at(i).constData());
            QCOMPARE(fetch(url, values.at(i)), old.at(i));
        }
    }

    ScriptRunner::StartedScript started;
    Purge::run(folder, QStringLiteral("127.0.0.1"), url, &started);
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
    const PurgeAnswer::Answer answer = PurgeAnswer::sortFile(Purge::resultPath(folder, 0));
    QVERIFY2(answer.group == group, FileBytes::read(Purge::resultPath(folder, 0)).left(300).constData());
    if (group == G::Purged)
        QCOMPARE(answer.copies, int(values.size()));
    // No value gets an old copy back.
    for (qsizetype i = 0; i < old.size() && group == G::Purged; ++i) {
        const QByteArray now = fetch(url, values.at(i));
        QVERIFY2(now.contains(" for ") && now != old.at(i),
                 (values.at(i) + u' ' + QString::fromLatin1(now)).toLocal8Bit());
    }
}

QTEST_GUILESS_MAIN(TestClientsEndToEnd)
#include "tst_clients_e2e.moc"
