// Every client against a real Squid, through the program's own scripts: a purge
// of a cached object (200) and of it again (404), the status query's mgr:info
// and, where the cache has a cachemgr_passwd, an action with the right (200)
// and a wrong password (401); last, a purge of a squid that refuses PURGE (403).
//
// CTest runs this once per server and kind of port 80 (see tests/CMakeLists.txt)
// under tools/local-cache-server run, which starts that squid:
//   QUELLORY_MATRIX_SERVER   the Squid major version that must answer
//   QUELLORY_MATRIX_CLIENTS  the clients, e.g. "squidclient5 squidclient6 curl"
//   QUELLORY_MATRIX_PASSWORD 1: the password rows (QUELLORY_CACHEMGR_PASSWORD)
// A client, server or password asked for and not there fails the run.
#include "commands/cacheclient.h"
#include "commands/codepages.h"
#include "commands/purge.h"
#include "commands/purgeanswer.h"
#include "commands/scriptrunner.h"
#include "commands/scriptwriter.h"
#include "commands/statusquery.h"

#include "filebytes.h"
#include "waits.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QString kServerScript = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");

QByteArray run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    process.waitForFinished(kForever);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAll();
}

QString envOr(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

// The program behind each client name; empty when it is not there.
QString programOf(const QString &client)
{
    if (client == QLatin1String("curl"))
        return envOr("QUELLORY_CURL", QStandardPaths::findExecutable(QStringLiteral("curl")));
    if (client == QLatin1String("squidclient5"))
        return envOr("QUELLORY_SQUIDCLIENT_5", QStandardPaths::findExecutable(QStringLiteral("squidclient")));
    if (client == QLatin1String("squidclient6"))
        return qEnvironmentVariable("QUELLORY_SQUIDCLIENT_6");
    return QString();
}

// The status code of a result file's first line, or its first 200 bytes.
QByteArray head(const QString &path)
{
    const QByteArray bytes = FileBytes::read(path);
    const PurgeAnswer::Answer answer = PurgeAnswer::sort(bytes);
    return answer.status ? QByteArray::number(answer.status) : bytes.left(200);
}
} // namespace

class TestClientsEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answers_data();
    void answers();
    void refusedPurge_data();
    void refusedPurge(); // last: it restarts squid refusing PURGE

private:
    // An application folder for client: squidclient beside the program, or
    // none and curl first on PATH.
    AppFolder folderFor(const QString &client);
    // The rows of answers(), or with `refused` those of refusedPurge().
    void addClientRows(bool refused);
    // Writes and starts the status script as the program does, and waits for its end.
    void queryStatus(const AppFolder &folder, const QString &request);

    QStringList m_clients;
    QString m_nonce;
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_path;
};

void TestClientsEndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"),
             "not inside a private network with a test cache: run this under 'tools/local-cache-server run' "
             "(ctest does so)");
    m_clients = qEnvironmentVariable("QUELLORY_MATRIX_CLIENTS").split(u' ', Qt::SkipEmptyParts);
    QVERIFY2(!m_clients.isEmpty(), "QUELLORY_MATRIX_CLIENTS names no client");
    for (const QString &client : std::as_const(m_clients)) {
        const QString program = programOf(client);
        QVERIFY2(!program.isEmpty(), qPrintable(client + QStringLiteral(" is not there (make peers fetches it)")));
        if (client.startsWith(QLatin1String("squidclient"))) {
            const QByteArray version = run(program, {QStringLiteral("--version")});
            QVERIFY2(version.contains("Version: " + client.right(1).toLatin1() + '.'),
                     qPrintable(client + QStringLiteral(" says: ") + QString::fromLocal8Bit(version.left(200))));
        }
    }
    QVERIFY2(qEnvironmentVariable("QUELLORY_MATRIX_PASSWORD") != QLatin1String("1")
                     || qEnvironmentVariableIsSet("QUELLORY_CACHEMGR_PASSWORD"),
             "password rows asked for, but this local-cache-server sets no QUELLORY_CACHEMGR_PASSWORD");
    m_nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = qgetenv("PATH");
}

AppFolder TestClientsEndToEnd::folderFor(const QString &client)
{
    const QString tag = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-')
            + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    const QString app = m_dir->filePath(tag);
    const QString bin = app + QStringLiteral("-bin");
    if (!QDir().mkpath(app) || !QDir().mkpath(bin))
        qFatal("cannot make %s", qPrintable(app));
    // A wrapper rather than a link: a peer's client finds its libraries from its own path.
    const bool curl = client == QLatin1String("curl");
    const QString wrapper = (curl ? bin : app) + (curl ? QStringLiteral("/curl") : QStringLiteral("/squidclient"));
    const QByteArray program = programOf(client).toLocal8Bit();
    if (!FileBytes::write(wrapper, "#!/bin/sh\nexec '" + program + "' \"$@\"\n")
        || !QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        qFatal("cannot write %s", qPrintable(wrapper));
    qputenv("PATH", QFile::encodeName(bin) + ':' + m_path);
    return AppFolder(app);
}

void TestClientsEndToEnd::addClientRows(bool refused)
{
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("request"); // empty: a purge
    QTest::addColumn<QByteArray>("status");
    const QString password = qEnvironmentVariable("QUELLORY_CACHEMGR_PASSWORD");
    const bool withPassword = qEnvironmentVariable("QUELLORY_MATRIX_PASSWORD") == QLatin1String("1");
    for (const QString &client : std::as_const(m_clients)) {
        const QByteArray c = client.toLatin1();
        if (refused) {
            QTest::addRow("%s purge 403", c.constData()) << client << QString() << QByteArray("403");
            continue;
        }
        QTest::addRow("%s purge 200 then 404", c.constData()) << client << QString() << QByteArray("200 404");
        QTest::addRow("%s mgr:info", c.constData()) << client << QStringLiteral("mgr:info") << QByteArray("200");
        if (!withPassword)
            continue;
        QTest::addRow("%s password right", c.constData())
                << client << QStringLiteral("mgr:counters@") + password << QByteArray("200");
        QTest::addRow("%s password wrong", c.constData())
                << client << QStringLiteral("mgr:counters@not") + password << QByteArray("401");
    }
}

void TestClientsEndToEnd::queryStatus(const AppFolder &folder, const QString &request)
{
    const QString line = StatusQuery::script(folder, QStringLiteral("127.0.0.1"), request, nativeShellDialect(),
                                             CodePages::ofSystem(), CacheClient::find(folder));
    const QString path = StatusQuery::scriptPath(folder);
    ScriptWriter writer(path);
    writer.writeLine(line);
    writer.close();
    const ScriptRunner::StartedScript started = ScriptRunner::start(writer.runPath());
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started, path), kForever);
}

void TestClientsEndToEnd::answers_data()
{
    addClientRows(false);
}

void TestClientsEndToEnd::answers()
{
    QFETCH(QString, client);
    QFETCH(QString, request);
    QFETCH(QByteArray, status);
    const AppFolder folder = folderFor(client);
    if (!request.isEmpty()) {
        queryStatus(folder, request);
        const QString result = StatusQuery::resultPath(folder);
        QCOMPARE(head(result), status);
        // The answer comes from the squid this run asked for.
        const QByteArray server = "\r\nServer: squid/" + qgetenv("QUELLORY_MATRIX_SERVER") + '.';
        QVERIFY2(FileBytes::read(result).contains(server), FileBytes::read(result).left(300).constData());
        return;
    }
    // Cached through the forward port, wherever it is; purged through port 80.
    const QString url = QStringLiteral("http://127.0.0.1:%1/matrix-%2?%3")
                                .arg(envOr("QUELLORY_ORIGIN_PORT", QStringLiteral("8081")),
                                     QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'), m_nonce);
    const QString proxy = QStringLiteral("http://127.0.0.1:") + envOr("QUELLORY_PROXY_PORT", QStringLiteral("80"));
    int code = -1;
    const QByteArray fetched
            = run(QStandardPaths::findExecutable(QStringLiteral("curl")),
                  {QStringLiteral("-q"), QStringLiteral("-sS"), QStringLiteral("-i"), QStringLiteral("-x"), proxy, url},
                  &code);
    QVERIFY2(code == 0 && fetched.startsWith("HTTP/1.1 200"), fetched.left(300).constData());
    ScriptRunner::StartedScript started;
    Purge::run(folder, QStringLiteral("127.0.0.1"), url + QStringLiteral("\r\n") + url, &started);
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started, Purge::scriptPath(folder)), kForever);
    QCOMPARE(head(Purge::resultPath(folder, 0)) + ' ' + head(Purge::resultPath(folder, 1)), status);
}

void TestClientsEndToEnd::refusedPurge_data()
{
    addClientRows(true);
    // Once, before the rows: the same squid again, refusing every PURGE.
    int code = -1;
    const QByteArray stopped = run(kServerScript, {QStringLiteral("stop")}, &code);
    if (code != 0)
        qFatal("stopping squid: %s", stopped.constData());
    qputenv("QUELLORY_REFUSE_PURGE", "1");
    const QByteArray started = run(kServerScript, {QStringLiteral("start")}, &code);
    qunsetenv("QUELLORY_REFUSE_PURGE");
    if (code != 0)
        qFatal("starting squid refusing PURGE: %s", started.constData());
}

void TestClientsEndToEnd::refusedPurge()
{
    QFETCH(QString, client);
    QFETCH(QByteArray, status);
    const AppFolder folder = folderFor(client);
    ScriptRunner::StartedScript started;
    Purge::run(folder, QStringLiteral("127.0.0.1"), QStringLiteral("http://127.0.0.1:8081/refused"), &started);
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started, Purge::scriptPath(folder)), kForever);
    QCOMPARE(head(Purge::resultPath(folder, 0)), status);
}

QTEST_GUILESS_MAIN(TestClientsEndToEnd)
#include "tst_clients_e2e.moc"
