// How a purge went, for real: Debian's squid in local-cache-server's private
// network, Debian's squidclient beside the program, the real window, and a real
// notification daemon (dunst) on an X server (Xvfb) and a session bus that this
// test starts for itself. The reports are read back from the bus as the daemon
// got them, and the report's action is taken through dunstctl. Nothing here is
// skipped: a missing tool fails the run, naming its package.
#include "commands/purge.h"
#include "controls.h"
#include "filebytes.h"
#include "modalwatcher.h"
#include "outputbox/outputbox.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// A wait ends with what it waits for; CTest's TIMEOUT is the guard against a hang.
constexpr int kForever = 24 * 60 * 60 * 1000;
const QString kServerScript = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");

const char kSlowServer[] = R"(
import http.server, time
class Slow(http.server.BaseHTTPRequestHandler):
    def do_PURGE(self):
        time.sleep(2.5)
        self.send_response(404)
        self.send_header("Content-Length", "0")
        self.end_headers()
    do_purge = do_PURGE  # squidclient sends the method as -m gives it
server = http.server.HTTPServer(("127.0.0.3", 80), Slow)
print("ready", flush=True)
server.serve_forever()
)";

QString tool(const char *name, const char *package)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty())
        qFatal("%s is not installed: install Debian's %s (make deps does)", name, package);
    return path;
}

QByteArray run(const QString &program, const QStringList &args, int *exitCode = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    process.waitForFinished(60000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAll();
}
} // namespace

class TestReportEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void reports_data();
    void reports();
    void actionShowsTheResults();

private:
    // Starts `program` in the background; it is ended with the test.
    QProcess *start(const QString &program, const QStringList &args);
    // The Notify calls that reached the bus so far, in order: the id each one
    // replaces (0 for a new one) and its body.
    QList<std::pair<uint, QString>> notified();
    qsizetype notifiedCount() { return notified().size(); }
    QByteArray dunstctl(const QStringList &args) { return run(m_dunstctl, args); }
    void purge(int server, const QStringList &urls);

    QTemporaryDir m_dir;
    QList<QProcess *> m_started;
    QProcess *m_monitor = nullptr;
    QByteArray m_monitored;
    QString m_dunstctl;
    QString m_nonce;
    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<CacheWindow> m_window;
};

QProcess *TestReportEndToEnd::start(const QString &program, const QStringList &args)
{
    auto *process = new QProcess(this);
    process->setProgram(program);
    process->setArguments(args);
    process->setStandardErrorFile(m_dir.filePath(QFileInfo(program).fileName() + QStringLiteral(".log")));
    process->start();
    if (!process->waitForStarted())
        qFatal("cannot start %s", qPrintable(program));
    m_started.prepend(process);
    return process;
}

void TestReportEndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"),
             "not inside a private network with a test cache: run this as "
             "'tools/local-cache-server run tst_report_e2e' (ctest does so)");
    QVERIFY(m_dir.isValid());
    const QString xvfb = tool("Xvfb", "xvfb"), bus = tool("dbus-daemon", "dbus"), dunst = tool("dunst", "dunst"),
                  monitor = tool("dbus-monitor", "dbus");
    m_dunstctl = tool("dunstctl", "dunst");
    tool("squidclient", "squidclient");

    // An X server of the test's own. -displayfd picks a free display; with no
    // file socket it needs no /tmp/.X11-unix, which an ordinary user cannot
    // make, and its abstract socket is seen only in this network namespace.
    QProcess *x = start(xvfb,
                        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-nolisten"), QStringLiteral("unix"),
                         QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24")});
    QTRY_VERIFY_WITH_TIMEOUT(x->canReadLine(), kForever);
    qputenv("DISPLAY", ":" + x->readLine().trimmed());

    // A session bus in the test's folder; the window's first look at the bus
    // comes after this.
    QProcess *daemon
            = start(bus,
                    {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                     QStringLiteral("--address=unix:dir=") + m_dir.path(), QStringLiteral("--print-address=1")});
    QTRY_VERIFY_WITH_TIMEOUT(daemon->canReadLine(), kForever);
    qputenv("DBUS_SESSION_BUS_ADDRESS", daemon->readLine().trimmed());

    m_monitor = start(
            monitor,
            {QStringLiteral("--session"), QStringLiteral("interface='org.freedesktop.Notifications',member='Notify'")});
    connect(m_monitor, &QProcess::readyReadStandardOutput, this, [this] { m_monitored += m_monitor->readAll(); });

    // dunst with no configuration of the user's: its defaults.
    QFile config(m_dir.filePath(QStringLiteral("dunstrc")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[global]\n    markup = full\n");
    config.close();
    start(dunst, {QStringLiteral("-config"), config.fileName()});
    int code = -1;
    QTRY_VERIFY_WITH_TIMEOUT(
            (run(m_dunstctl, {QStringLiteral("count"), QStringLiteral("displayed")}, &code), code == 0), kForever);

    m_nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
    m_app = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::link(tool("squidclient", "squidclient"), m_app->filePath(QStringLiteral("squidclient"))));
    // 127.0.0.2 is loopback where nothing listens; on 127.0.0.3 a server takes
    // 2.5 s to answer each PURGE with 404.
    QVERIFY(FileBytes::write(m_app->filePath(QStringLiteral("serverlist.txt")),
                             "127.0.0.1\r\n127.0.0.2\r\n127.0.0.3\r\n"));
    QProcess *slow = start(tool("python3", "python3"), {QStringLiteral("-c"), QString::fromLatin1(kSlowServer)});
    QTRY_VERIFY_WITH_TIMEOUT(slow->canReadLine(), kForever);
    m_window = std::make_unique<CacheWindow>(AppFolder(m_app->path()));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestReportEndToEnd::cleanupTestCase()
{
    m_window.reset();
    for (QProcess *process : std::as_const(m_started)) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished();
    }
}

QList<std::pair<uint, QString>> TestReportEndToEnd::notified()
{
    // dbus-monitor prints a call's arguments one a line, strings in double
    // quotes and as they are (a line break stays one): app name, replaced id,
    // icon, summary, body, then the actions' array.
    QList<std::pair<uint, QString>> calls;
    const QString text = QString::fromUtf8(m_monitored);
    static const QRegularExpression call(
            QStringLiteral("member=Notify\\n\\s*string \"Quellory\"\\n\\s*uint32 (\\d+)\\n\\s*string \"\"\\n"
                           "\\s*string \"Quellory\"\\n\\s*string \"(.*?)\"\\n\\s*array \\["),
            QRegularExpression::DotMatchesEverythingOption);
    for (auto match = call.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch next = match.next();
        calls.append({next.captured(1).toUInt(), next.captured(2)});
    }
    return calls;
}

void TestReportEndToEnd::purge(int server, const QStringList &urls)
{
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeRunning(), kForever);
    control<QListWidget>(m_window.get(), "List1")->setCurrentRow(server);
    BoxText::setText(control<QPlainTextEdit>(m_window.get(), "Text1"), urls.join(QStringLiteral("\r\n")));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>(m_window.get(), "Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("purgeDoneBox"));
}

void TestReportEndToEnd::reports_data()
{
    QTest::addColumn<QString>("refusingSquid"); // restart squid so, when set
    QTest::addColumn<int>("server");
    QTest::addColumn<QStringList>("paths"); // a leading "+" is fetched first, so it is cached
    QTest::addColumn<QString>("body");
    QTest::newRow("200 and 404") << QString() << 0 << QStringList{"+/cached", "/never-cached"}
                                 << "127.0.0.1: 2 URLs — purged 1, not in the cache 1";
    QTest::newRow("nothing listens") << QString() << 1 << QStringList{"/a"}
                                     << "127.0.0.2: 1 URL — cannot connect 1\nNot purged: URL line 1 (nslookup0.txt)";
    // Each answer takes 2.5 s: after 5 s the notification shows the progress,
    // and the report replaces it.
    QTest::newRow("slow server") << QString() << 2 << QStringList{"/slow/1", "/slow/2", "/slow/3"}
                                 << "127.0.0.3: 3 URLs — not in the cache 3";
    QTest::newRow("403") << "1" << 0 << QStringList{"+/refused", "/refused-too"}
                         << "127.0.0.1: 2 URLs — refused 2\n"
                            "Not purged: URL line 1 (nslookup0.txt), URL line 2 (nslookup1.txt)";
}

void TestReportEndToEnd::reports()
{
    QFETCH(QString, refusingSquid);
    QFETCH(int, server);
    QFETCH(QStringList, paths);
    QFETCH(QString, body);
    QStringList urls;
    for (const QString &path : paths) {
        urls << QStringLiteral("http://127.0.0.1:8081/report") + QString(path).remove(u'+') + QStringLiteral("?")
                        + m_nonce;
        if (path.startsWith(u'+'))
            QVERIFY(run(tool("squidclient", "squidclient"),
                        {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QStringLiteral("80"),
                         urls.last()})
                            .startsWith("HTTP/1.1 200 OK"));
    }
    if (!refusingSquid.isEmpty()) {
        int code = -1;
        const QByteArray stopped = run(kServerScript, {QStringLiteral("stop")}, &code);
        QVERIFY2(code == 0, stopped.constData());
        qputenv("QUELLORY_REFUSE_PURGE", refusingSquid.toLatin1());
        const QByteArray started = run(kServerScript, {QStringLiteral("start")}, &code);
        qunsetenv("QUELLORY_REFUSE_PURGE");
        QVERIFY2(code == 0, started.constData());
    }
    // Only this purge's report is on screen, for the action's test after it.
    dunstctl({QStringLiteral("close-all")});
    const qsizetype before = notifiedCount();
    purge(server, urls);
    QTRY_VERIFY_WITH_TIMEOUT(notifiedCount() > before && notified().last().second == body, kForever);
    const QList<std::pair<uint, QString>> calls = notified().mid(before);
    if (server != 2) {
        QCOMPARE(calls.size(), 1);
    } else {
        // "2 of 3" at 5 s; nothing new to say until the report, which takes
        // the progress notification's place.
        static const QRegularExpression progress(QStringLiteral("^127\\.0\\.0\\.3: [0-3] of 3 URLs answered so far$"));
        QVERIFY2(calls.size() >= 2, qPrintable(calls.first().second));
        for (qsizetype i = 0; i + 1 < calls.size(); ++i)
            QVERIFY2(progress.match(calls.at(i).second).hasMatch(), qPrintable(calls.at(i).second));
        for (qsizetype i = 1; i < calls.size(); ++i)
            QVERIFY(calls.at(i).first != 0);
    }
    QCOMPARE(calls.first().first, 0u);
    QTRY_COMPARE_WITH_TIMEOUT(dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}).trimmed(),
                              QByteArray("1"), kForever);
}

void TestReportEndToEnd::actionShowsTheResults()
{
    // The last report on screen is the refused purge's; the output box still
    // shows what its click showed, the answers of the purge before it.
    const AppFolder app(m_app->path());
    const QByteArray script = FileBytes::read(Purge::scriptPath(app));
    // squid's error page has bare LF line ends, which the box reads back as CR LF.
    const QString expected = QString::fromLocal8Bit(FileBytes::read(Purge::resultPath(app, 0))
                                                    + FileBytes::read(Purge::resultPath(app, 1)))
                                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                     .replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    QVERIFY(expected.startsWith(QStringLiteral("HTTP/1.1 403 Forbidden\r\n")));
    auto *box = control<OutputBox>(m_window.get(), "Text3");
    QVERIFY(BoxText::text(box) != expected);
    const QDateTime resultTime = QFileInfo(Purge::resultPath(app, 0)).lastModified();

    ModalWatcher watcher;
    dunstctl({QStringLiteral("action"), QStringLiteral("0")});
    QTRY_COMPARE_WITH_TIMEOUT(BoxText::text(box), expected, kForever);
    // Nothing was started or written, and no box was opened.
    QVERIFY(!m_window->purgeRunning());
    QCOMPARE(FileBytes::read(Purge::scriptPath(app)), script);
    QCOMPARE(QFileInfo(Purge::resultPath(app, 0)).lastModified(), resultTime);
    QVERIFY(watcher.seen().isEmpty());
}

QTEST_MAIN(TestReportEndToEnd)
#include "tst_report_e2e.moc"
