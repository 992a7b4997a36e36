// The whole road against a real cache: Debian's squid on 127.0.0.1:80 with a
// loopback origin, Debian's squidclient beside the program, and the real window.
// CTest starts this under "tools/local-cache-server run", which gives it a
// network namespace of its own with squid and the origin in it. Nothing here is
// skipped: a server that is not there fails the run.
#include "commands/actions/purge.h"
#include "commands/actions/statusquery.h"
#include "modalwatcher.h"
#include "outputbox/widget/outputbox.h"
#include "storage/textfile.h"
#include "waits.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"

#include "controls.h"
#include "filebytes.h"
#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QString kServerScript = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");
const QString kOrigin = QStringLiteral("http://127.0.0.1:8081");
// squid.conf of local-cache-server names the cache so; an answer naming it comes
// from that squid and from no other server that may listen on port 80.
const QByteArray kCacheName = "quellory-test-cache";

struct Outcome
{
    int exitCode;
    QByteArray output;
};

Outcome runTool(const QString &program, const QStringList &args, int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, process.readAll() + "\n(timed out)"};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

// Sends one request (a URL or mgr:...) to the cache, as Quellory's scripts do.
Outcome askCache(const QString &request)
{
    return runTool(QStringLiteral("squidclient"),
                   {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QStringLiteral("80"),
                    QStringLiteral("-T"), QStringLiteral("10"), request});
}

// Fetches url through the proxy and gives the cache's verdict: HIT or MISS.
// Squid 5 says it in X-Cache; Squid 6 and later in Cache-Status (RFC 9211),
// whose "hit" parameter marks a hit.
QByteArray fetchThroughProxy(const QString &url)
{
    const Outcome got = askCache(url);
    for (const QByteArray &line : got.output.split('\n')) {
        if (line.startsWith("X-Cache: "))
            return line.mid(9, line.indexOf(' ', 9) - 9);
        if (line.startsWith("Cache-Status: "))
            return line.trimmed().split(';').contains("hit") ? "HIT" : "MISS";
    }
    return "no X-Cache or Cache-Status header in: " + got.output.left(300);
}

// Waits until a result file holds a whole HTTP answer's status line or an error.
bool waitForAnswer(const QString &path, int timeoutMs = 60000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QByteArray bytes = FileBytes::read(path);
        if (bytes.contains("\r\n\r\n") || bytes.contains("ERROR"))
            return true;
        QTest::qWait(20);
    }
    return false;
}
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_window.reset(); }

    void purgeRemovesCachedObjects();
    void statusQueryShowsInfoPage();
    void purgeRate();
    void stoppedServerLeavesTheErrorInTheResult(); // last: it stops the server

private:
    template<typename T>
    T *control(const char *name) const
    {
        return ::control<T>(m_window.get(), name);
    }
    void clickPurge(const QStringList &urls);
    QString url(const QString &path) const
    {
        return kOrigin + path + (path.contains(u'?') ? u'&' : u'?') + QStringLiteral("run=") + m_nonce;
    }

    QString m_nonce;
    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<CacheWindow> m_window;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("squidclient")).isEmpty(),
             "Debian's squidclient is not installed (make test installs it)");
    // Run directly, this would purge whatever answers on the machine's port 80.
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"),
             "not inside a private network with a test cache: run this as "
             "'tools/local-cache-server run tst_e2e' (ctest does so)");
    // The form every squidclient asks alike; 6.13 sends "mgr:info" as a URL.
    const Outcome info = askCache(QStringLiteral("/squid-internal-mgr/info"));
    QVERIFY2(info.output.startsWith("HTTP/1.1 200 OK\r\n") && info.output.contains(kCacheName),
             ("no answer from local-cache-server's squid on 127.0.0.1:80: " + info.output.left(300)).constData());
    m_nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
}

void TestEndToEnd::init()
{
    m_app = std::make_unique<QTemporaryDir>();
    QVERIFY(m_app->isValid());
    QVERIFY(QFile::link(QStandardPaths::findExecutable(QStringLiteral("squidclient")),
                        m_app->filePath(QStringLiteral("squidclient"))));
    QFile list(m_app->filePath(QStringLiteral("serverlist.txt")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("127.0.0.1\r\n");
    list.close();
    // One PURGE a URL line, as these tests count: the Accept-Encoding values
    // are tst_clients_e2e's.
    QVERIFY(FileBytes::write(m_app->filePath(QStringLiteral("encodings.txt")), QByteArray()));

    m_window = std::make_unique<CacheWindow>(AppFolder(m_app->path()));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    control<QListWidget>("List1")->setCurrentRow(0);
    QCOMPARE(m_window->selectedServer(), QStringLiteral("127.0.0.1"));
}

void TestEndToEnd::clickPurge(const QStringList &urls)
{
    BoxText::setText(control<QPlainTextEdit>("Text1"), urls.join(QStringLiteral("\r\n")));
    // The last purge's script may still be on its last squidclient; a new purge
    // would ask about it.
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeRunning(), 120000);
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("purgeDoneBox"));
}

void TestEndToEnd::purgeRemovesCachedObjects()
{
    const QString plain = url(QStringLiteral("/e2e/plain.html"));
    const QString query = url(QStringLiteral("/e2e/search?q=squid&lang=en"));
    const QString never = url(QStringLiteral("/e2e/never-cached"));
    for (const QString &u : {plain, query}) {
        QCOMPARE(fetchThroughProxy(u), QByteArray("MISS"));
        QCOMPARE(fetchThroughProxy(u), QByteArray("HIT"));
    }

    // A blank line between them: the numbers follow the lines of the box.
    clickPurge({plain, QString(), query, never});
    const AppFolder app(m_app->path());
    for (int line : {0, 2, 3})
        QVERIFY2(waitForAnswer(Purge::resultPath(app, line)), qPrintable(QString::number(line)));
    QVERIFY(FileBytes::read(Purge::resultPath(app, 0)).startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(FileBytes::read(Purge::resultPath(app, 2)).startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(FileBytes::read(Purge::resultPath(app, 3)).startsWith("HTTP/1.1 404 Not Found\r\n"));
    QVERIFY(!QFile::exists(Purge::resultPath(app, 1)));
    QCOMPARE(fetchThroughProxy(plain), QByteArray("MISS"));
    QCOMPARE(fetchThroughProxy(query), QByteArray("MISS"));

    // The second purge shows the first one's answers, joined as they were.
    const QString firstAnswers = QString::fromLocal8Bit(FileBytes::read(Purge::resultPath(app, 0))
                                                        + FileBytes::read(Purge::resultPath(app, 2))
                                                        + FileBytes::read(Purge::resultPath(app, 3)));
    clickPurge({plain, QString(), query, never});
    QCOMPARE(control<OutputBox>("Text3")->document()->text(), firstAnswers);
    QVERIFY(waitForAnswer(Purge::resultPath(app, 3)));
}

void TestEndToEnd::statusQueryShowsInfoPage()
{
    control<QLineEdit>("Text2")->setText(QStringLiteral("mgr:info"));
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->statusFollowed(), kForever);
    const QString shown = control<OutputBox>("Text3")->document()->text();
    QVERIFY2(shown.startsWith(QStringLiteral("HTTP/1.1 200 OK\r\n")), qPrintable(shown.left(300)));
    QVERIFY(shown.contains(QString::fromLatin1(kCacheName)));
    QVERIFY(shown.contains(QStringLiteral("Squid Object Cache: Version")));
}

void TestEndToEnd::purgeRate()
{
    // 1,000 cached objects, purged by one click; the rate is the script's, from
    // the click until the last answer is in.
    const int count = 1000;
    QStringList urls;
    QByteArray fill;
    for (int i = 0; i < count; ++i) {
        urls << url(QStringLiteral("/e2e/rate/%1").arg(i));
        fill += "squidclient -h 127.0.0.1 -p 80 -T 10 '" + urls.last().toLatin1() + "' >/dev/null\n";
    }
    QFile fillScript(m_app->filePath(QStringLiteral("fill.sh")));
    QVERIFY(fillScript.open(QIODevice::WriteOnly));
    fillScript.write(fill);
    fillScript.close();
    QCOMPARE(runTool(QStringLiteral("/bin/sh"), {fillScript.fileName()}, 120000).exitCode, 0);
    QCOMPARE(fetchThroughProxy(urls.last()), QByteArray("HIT"));

    QElapsedTimer clock;
    clock.start();
    clickPurge(urls);
    const AppFolder app(m_app->path());
    // The lanes end in any order: every line's answer.
    for (int i = 0; i < count; ++i)
        QVERIFY(waitForAnswer(Purge::resultPath(app, i), 120000));
    const double seconds = clock.elapsed() / 1000.0;

    int ok = 0;
    for (int i = 0; i < count; ++i)
        ok += FileBytes::read(Purge::resultPath(app, i)).startsWith("HTTP/1.1 200 OK\r\n") ? 1 : 0;
    QCOMPARE(ok, count);
    // make e2e shows this line.
    qInfo("purge rate: %d cached URLs in %.2f s, %.0f URLs a second, %.2f ms each", count, seconds, count / seconds,
          1000 * seconds / count);
}

void TestEndToEnd::stoppedServerLeavesTheErrorInTheResult()
{
    // Stops the squid of this run's namespace, found through QUELLORY_CACHE_SERVER_DIR.
    const Outcome stopped = runTool(kServerScript, {QStringLiteral("stop")});
    QVERIFY2(stopped.exitCode == 0, stopped.output.constData());
    control<QLineEdit>("Text2")->setText(QStringLiteral("mgr:info"));
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->statusFollowed(), kForever);
    // squidclient says so on its error stream, which the script keeps.
    const QString shown = control<OutputBox>("Text3")->document()->text();
    QVERIFY2(shown.contains(QStringLiteral("Cannot connect to 127.0.0.1:80")), qPrintable(shown));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
