// Every client against a real Squid through the program's own scripts: a purge
// of a cached object (200) and of one never cached (404), mgr:info, with a
// cachemgr_passwd the right (200) and a wrong password (401), and last a purge
// of the squid restarted refusing PURGE (403). CTest runs this under
// tools/local-cache-server once per Squid version (QUELLORY_SQUID_VERSION, the
// one that must answer) and kind of port 80; a client that is not there fails
// the run.
// A purge caches a URL of the origin's /vary/ (Vary: Accept-Encoding) under no
// header and each default Accept-Encoding value, and purges it and one never
// cached with those values: every copy purged, and no value gets its old copy
// back. The refused purges send the values too. A listed purge caches one
// under strings that are not among them, lists the copies from the manager's
// objects report, and refreshes every copy it lists; at squid's own
// read_ahead_gap the report stalls, and the listing says it came cut.
#include "commands/actions/purge.h"
#include "commands/actions/purgeanswer.h"
#include "commands/scripts/scriptrunner.h"
#include "commands/scripts/scriptwriter.h"
#include "commands/actions/statusquery.h"
#include "commands/actions/purgelisting.h"
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
    void answers_data();
    void answers();

private:
    QTemporaryDir m_dir;
    QString m_nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
    // How squid was started again for the rows that want it otherwise:
    // "password" (the objects report behind the manager's password), "cut"
    // (its own read_ahead_gap: it stalls an objects report longer than about
    // 20 KB) or "403" (refusing PURGE too).
    QByteArray m_restartedFor;
};

void TestClientsEndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"), "run this under tools/local-cache-server");
    QVERIFY2(!env("QUELLORY_CACHEMGR_PASSWORD").isEmpty(), "no QUELLORY_CACHEMGR_PASSWORD");
}

void TestClientsEndToEnd::answers_data()
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("request"); // empty: a purge
    QTest::addColumn<QByteArray>("status");
    const QStringList clients{"squidclient5", "squidclient6", "curl"};
    const QString password = env("QUELLORY_CACHEMGR_PASSWORD");
    for (const QString &client : clients) {
        const QByteArray c = client.toLatin1();
        QTest::addRow("%s purge", c.constData()) << client << QString() << QByteArray("200 404");
        QTest::addRow("%s listed purge", c.constData()) << client << QString() << QByteArray("listed");
        QTest::addRow("%s mgr:info", c.constData()) << client << QStringLiteral("mgr:info") << QByteArray("200");
        QTest::addRow("%s right password", c.constData())
                << client << QStringLiteral("mgr:counters@") + password << QByteArray("200");
        QTest::addRow("%s wrong password", c.constData())
                << client << QStringLiteral("mgr:counters@x") + password << QByteArray("401");
    }
    // Last: they restart squid, with the objects report behind a password,
    // then with its own read_ahead_gap, then refusing PURGE.
    for (const QString &client : clients) {
        QTest::addRow("%s listing password", client.toLatin1().constData())
                << client << QString() << QByteArray("password");
    }
    for (const QString &client : clients)
        QTest::addRow("%s listing cut", client.toLatin1().constData()) << client << QString() << QByteArray("cut");
    for (const QString &client : clients)
        QTest::addRow("%s refused purge", client.toLatin1().constData()) << client << QString() << QByteArray("403");
}

void TestClientsEndToEnd::answers()
{
    QFETCH(QString, client);
    QFETCH(QString, request);
    QFETCH(QByteArray, status);
    // Where local-cache-server says each client is.
    const QString program = env(client == QLatin1String("curl") ? "QUELLORY_CURL"
                                        : client == QLatin1String("squidclient5") ? "QUELLORY_SQUIDCLIENT_5"
                                                                                  : "QUELLORY_SQUIDCLIENT_6");
    QVERIFY2(QFile::exists(program), qPrintable(client + QStringLiteral(" is not there: ") + program));
    int code = -1;
    if ((status == "password" || status == "cut" || status == "403") && m_restartedFor != status) {
        const QString tool = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");
        QVERIFY2((run(tool, {QStringLiteral("stop")}, &code), code == 0), "stopping squid");
        if (status == "password")
            qputenv("QUELLORY_OBJECTS_PASSWORD", "1");
        else
            qunsetenv("QUELLORY_OBJECTS_PASSWORD");
        if (status != "password")
            qunsetenv("QUELLORY_READ_AHEAD_GAP");
        if (status == "403")
            qputenv("QUELLORY_REFUSE_PURGE", "1");
        const QByteArray started = run(tool, {QStringLiteral("start")}, &code);
        QVERIFY2(code == 0, started.constData());
        m_restartedFor = status;
    }
    // squidclient beside the program, or none and curl first on PATH; each a
    // wrapper, as a fetched client finds its libraries from its own path.
    const QString app = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
    const bool curl = client == QLatin1String("curl");
    QVERIFY(QDir().mkpath(app + QStringLiteral("/bin")));
    const QString wrapper = app + (curl ? QStringLiteral("/bin/curl") : QStringLiteral("/squidclient"));
    QVERIFY(FileBytes::write(wrapper, "#!/bin/sh\nexec '" + program.toLocal8Bit() + "' \"$@\"\n"));
    QVERIFY(QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::ExeOwner));
    static const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(app) + "/bin:" + path);
    const AppFolder folder(app);
    // No header, then each value (only no header where there are none).
    // Listed: strings real clients send that encodings.txt does not hold
    // (wget's and urllib's identity, one value alone, a list without the blank).
    const bool listed = status == "listed";
    const QStringList values = QStringList{QString()}
            + (listed             ? QStringList{"identity", "gzip", "gzip,deflate", "br"}
               : status == "password" ? QStringList{"identity"}
               : status == "200 404" ? EncodingList::defaults()
                                     : QStringList());
    // Port 80 a forward proxy: an origin's URL, cached through it. An
    // accelerator: the site's own URL, whose objects it caches.
    const bool accel = env("QUELLORY_ACCEL_PORT") == QLatin1String("80");
    const bool varies = status == "200 404" || listed || status == "cut" || status == "password";
    const QString url = QStringLiteral("http://127.0.0.1:%1/%2%3?%4")
                                .arg(accel ? QStringLiteral("80") : env("QUELLORY_ORIGIN_PORT", QStringLiteral("8081")),
                                     varies ? QStringLiteral("vary/") : QString(), app.section(u'/', -1), m_nonce);
    const QString proxy = accel ? QString() : QStringLiteral("http://127.0.0.1:80");
    const auto get = [&](const QString &value) {
        QStringList args{QStringLiteral("-q"), QStringLiteral("-sS"), QStringLiteral("-x"), proxy, url};
        if (!value.isEmpty())
            args << QStringLiteral("-H") << QStringLiteral("Accept-Encoding: ") + value;
        return run(QStringLiteral("/usr/bin/curl"), args, &code);
    };
    QByteArrayList old;
    ScriptRunner::StartedScript started;
    QString result = StatusQuery::resultPath(folder);
    StatusQuery query(0);
    if (!request.isEmpty()) {
        // This row's client, though a password would go to curl where it is.
        started = query.start(folder, QStringLiteral("127.0.0.1"), request, CacheClient::find(folder),
                              StatusQuery::Password::MayShow);
    } else {
        for (const QString &value : values)
            old << get(value);
        QVERIFY2(code == 0, old.constLast().constData());
        for (qsizetype i = 0; i < values.size(); ++i)
            QCOMPARE(get(values.at(i)), old.at(i)); // cached, one copy per value
        if (status == "password") {
            // Refused without the password; sent, once the operator has said so.
            const auto plan = [&] {
                started = PurgeListing::start(folder, QStringLiteral("127.0.0.1"), url, nullptr,
                                              QStringLiteral("mgr:info@") + env("QUELLORY_CACHEMGR_PASSWORD"),
                                              StatusQuery::Password::MayShow);
                [&] { QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever); }();
                return PurgeListing::plan(folder, QStringLiteral("127.0.0.1"), url, EncodingList::defaults());
            };
            const PurgeListing::Plan refused = plan();
            QVERIFY(!refused.answered);
            QCOMPARE(refused.unlisted, QList<qsizetype>{0});
            QVERIFY(FileBytes::write(PurgeListing::optionsPath(folder), "password\r\n"));
            const PurgeListing::Plan sent = plan();
            QVERIFY2(sent.whole && sent.unlisted.isEmpty(), "the objects report came cut");
            const QStringList refresh = sent.of(0);
            QCOMPARE(QSet<QString>(refresh.begin(), refresh.end()), QSet<QString>(values.begin(), values.end()));
            // curl's config file, with the password, went with the script.
            QCOMPARE(QDir(app).entryList({QStringLiteral("*.cfg")}), QStringList());
            return;
        }
        if (status == "cut") {
            // Some 40 KB of report: more than squid sends of it.
            for (int i = 0; i < 100; ++i)
                get(QString::number(i));
            QVERIFY2(code == 0, "caching");
            started = PurgeListing::start(folder, QStringLiteral("127.0.0.1"), url);
            QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
            const PurgeListing::Plan plan = PurgeListing::plan(folder, QStringLiteral("127.0.0.1"), url, EncodingList::defaults());
            QVERIFY(!plan.whole);
            QCOMPARE(plan.unlisted, QList<qsizetype>{0});
            QVERIFY(!QFile::exists(PurgeListing::resultPath(folder)));
            return;
        }
        if (listed) {
            // What the cache holds of it, as the server lists it.
            started = PurgeListing::start(folder, QStringLiteral("127.0.0.1"), url);
            QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
            const PurgeListing::Plan plan = PurgeListing::plan(folder, QStringLiteral("127.0.0.1"), url, EncodingList::defaults());
            QVERIFY2(plan.whole && plan.unlisted.isEmpty(), "the objects report came cut");
            const QStringList refresh = plan.of(0);
            QCOMPARE(QSet<QString>(refresh.begin(), refresh.end()), QSet<QString>(values.begin(), values.end()));
            Purge::run(folder, QStringLiteral("127.0.0.1"), url, &started, nullptr, nullptr,
                       [&plan](qsizetype line) { return plan.of(line); }, plan.valueList);
        } else {
            // Line 2 was never cached.
            Purge::run(folder, QStringLiteral("127.0.0.1"),
                       status == "403" ? url : url + QStringLiteral("\r\n") + url + QStringLiteral("&not"), &started);
        }
        result = Purge::resultPath(folder, 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
    QByteArray got = statusOf(result);
    if (old.size() > 1) {
        got = listed ? QByteArray("listed") : got + ' ' + statusOf(Purge::resultPath(folder, 1));
        QCOMPARE(PurgeAnswer::sortFile(result).copies, int(values.size()));
        for (const QString &value : values) { // none gets its old copy back
            const QByteArray now = get(value);
            QVERIFY2(!old.contains(now), now.constData());
        }
    }
    QCOMPARE(got, status);
    // The answer comes from the squid this run asked for.
    const QByteArray server = "\r\nServer: squid/" + qgetenv("QUELLORY_SQUID_VERSION") + '.';
    QVERIFY2(FileBytes::read(result).contains(server), FileBytes::read(result).left(300).constData());
}

QTEST_GUILESS_MAIN(TestClientsEndToEnd)
#include "tst_clients_e2e.moc"
