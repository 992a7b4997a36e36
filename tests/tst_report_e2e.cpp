// How a purge went, for real: Debian's squid in local-cache-server's private
// network, Debian's squidclient beside the program, the real window, and a real
// notification daemon (dunst) on an X server (Xvfb) and a session bus that this
// test starts for itself. The reports are read back from the bus as the daemon
// got them, and the report's action is taken through dunstctl. Nothing here is
// skipped: a missing tool fails the run, naming its package.
#include "commands/actions/purge.h"
#include "controls.h"
#include "filebytes.h"
#include "modalwatcher.h"
#include "outputbox/widget/outputbox.h"
#include "waits.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"
#include "window/desktopnotifier.h"

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
// On 127.0.0.3, each PURGE (squidclient sends the method as -m gives it) is
// answered 404 after 2.5 s; its cache manager lists no objects.
const char kSlowServer[] = "import http.server, time\n"
                           "class Slow(http.server.BaseHTTPRequestHandler):\n"
                           "    def do_purge(self):\n"
                           "        time.sleep(2.5); self.send_response(404)\n"
                           "        self.send_header('Content-Length', '0'); self.end_headers()\n"
                           "    def do_GET(self):\n"
                           "        self.send_response(200 if self.path == '/squid-internal-mgr/objects' else 404)\n"
                           "        self.send_header('Content-Length', '0'); self.end_headers()\n"
                           "server = http.server.HTTPServer(('127.0.0.3', 80), Slow)\n"
                           "print('ready', flush=True); server.serve_forever()\n";

QString tool(const char *name, const char *package)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty())
        qFatal("%s is not installed: install Debian's %s (make deps does)", name, package);
    return path;
}

QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(u' ');
}

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
    void withdrawnBeforeItsId();

private:
    // Starts `program` in the background, ended with the test; gives its first
    // line of output.
    QByteArray start(const QString &program, const QStringList &args);
    // The Notify calls on the bus so far: the id each replaces (0: a new one)
    // and its body.
    QList<std::pair<uint, QString>> notified() const;

    QTemporaryDir m_dir, m_app;
    QList<QProcess *> m_started;
    QByteArray m_monitored;
    QString m_nonce = QString::number(QDateTime::currentMSecsSinceEpoch());
    std::unique_ptr<CacheWindow> m_window;
};

QByteArray TestReportEndToEnd::start(const QString &program, const QStringList &args)
{
    auto *process = new QProcess(this);
    process->setStandardErrorFile(m_dir.filePath(QFileInfo(program).fileName() + QStringLiteral(".log")));
    process->start(program, args);
    m_started.prepend(process);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(process->canReadLine(), kForever); }();
    return process->readLine().trimmed();
}

void TestReportEndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"),
             "run this as 'tools/local-cache-server run tst_report_e2e' (ctest does so)");
    // An X server of the test's own on a free display. With no file socket it
    // needs no /tmp/.X11-unix, which only root may make, and its abstract
    // socket is seen in this network namespace alone.
    qputenv("DISPLAY", ":" + start(tool("Xvfb", "xvfb"), words("-displayfd 1 -nolisten tcp -nolisten unix")));
    // A session bus of its own; the window's first look at the bus comes later.
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            start(tool("dbus-daemon", "dbus-daemon"),
                  words("--session --nofork --nopidfile --print-address=1")
                          << QStringLiteral("--address=unix:dir=") + m_dir.path()));
    QProcess *monitor = new QProcess(this);
    m_started << monitor;
    monitor->start(tool("dbus-monitor", "dbus-bin"),
                   {QStringLiteral("interface='org.freedesktop.Notifications',member='Notify'")});
    connect(monitor, &QProcess::readyReadStandardOutput, this, [this, monitor] { m_monitored += monitor->readAll(); });
    // dunst with none of the user's configuration; a notification stays until
    // it is closed, so that one left behind is seen.
    QVERIFY(FileBytes::write(m_dir.filePath(QStringLiteral("dunstrc")),
                             "[global]\n    markup = full\n[urgency_normal]\n    timeout = 0\n"));
    auto *dunst = new QProcess(this);
    m_started << dunst;
    dunst->start(tool("dunst", "dunst"), {QStringLiteral("-config"), m_dir.filePath(QStringLiteral("dunstrc"))});
    int code = -1;
    QTRY_VERIFY_WITH_TIMEOUT((run(tool("dunstctl", "dunst"), words("count displayed"), &code), code == 0), kForever);
    QVERIFY(start(tool("python3", "python3"), {QStringLiteral("-c"), QString::fromLatin1(kSlowServer)}) == "ready");

    QVERIFY(QFile::link(tool("squidclient", "squidclient"), m_app.filePath(QStringLiteral("squidclient"))));
    // 127.0.0.2 is loopback where nothing listens.
    QVERIFY(FileBytes::write(m_app.filePath(QStringLiteral("serverlist.txt")),
                             "127.0.0.1\r\n127.0.0.2\r\n127.0.0.3\r\n"));
    // One PURGE a URL line: the Accept-Encoding values are tst_clients_e2e's.
    QVERIFY(FileBytes::write(m_app.filePath(QStringLiteral("encodings.txt")), QByteArray()));
    m_window = std::make_unique<CacheWindow>(AppFolder(m_app.path()));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestReportEndToEnd::cleanupTestCase()
{
    m_window.reset();
    for (QProcess *process : std::as_const(m_started)) {
        process->terminate();
        process->waitForFinished();
    }
}

QList<std::pair<uint, QString>> TestReportEndToEnd::notified() const
{
    // dbus-monitor prints the arguments one a line, strings in double quotes
    // and as they are: app name, replaced id, icon, summary, body, actions.
    static const QRegularExpression call(
            QStringLiteral("member=Notify\\n\\s*string \"Quellory\"\\n\\s*uint32 (\\d+)\\n\\s*string \"\"\\n"
                           "\\s*string \"Quellory\"\\n\\s*string \"(.*?)\"\\n\\s*array \\["),
            QRegularExpression::DotMatchesEverythingOption);
    QList<std::pair<uint, QString>> calls;
    for (auto match = call.globalMatch(QString::fromUtf8(m_monitored)); match.hasNext();) {
        const QRegularExpressionMatch next = match.next();
        calls.append({next.captured(1).toUInt(), next.captured(2)});
    }
    return calls;
}

void TestReportEndToEnd::reports_data()
{
    QTest::addColumn<QByteArray>("refusing"); // squid is started again so first: this is set
    QTest::addColumn<QList<int>>("servers"); // rows of the server list
    QTest::addColumn<QStringList>("paths"); // a leading "+" is fetched first, so it is cached
    QTest::addColumn<QString>("body");
    QTest::newRow("200 and 404") << QByteArray() << QList<int>{0} << QStringList{"+/cached", "/never-cached"}
                                 << "127.0.0.1: 2 URLs — purged 1, not in the cache 1";
    QTest::newRow("nothing listens") << QByteArray() << QList<int>{1} << QStringList{"/a"}
                                     << "127.0.0.2: 1 URL — cannot connect 1\nNot purged: URL line 1 (nslookup0.txt)";
    // After 5 s the notification shows the progress; the report replaces it.
    QTest::newRow("slow server") << QByteArray() << QList<int>{2} << QStringList{"/slow/1", "/slow/2", "/slow/3"}
                                 << "127.0.0.3: 3 URLs — not in the cache 3";
    // Whatever the purges' answers, the copies of a URL are not known.
    // All three at once: one notification of them all, the server that
    // cannot be reached one line.
    QTest::newRow("three servers") << QByteArray() << QList<int>{0, 1, 2}
                                   << QStringList{"+/grid", "/grid-never-cached"}
                                   << "127.0.0.1: 2 URLs — purged 1, not in the cache 1\n"
                                      "127.0.0.2: cannot connect\n"
                                      "127.0.0.3: 2 URLs — not in the cache 2";
    QTest::newRow("manager refused") << QByteArray("QUELLORY_REFUSE_MANAGER") << QList<int>{0}
                                     << QStringList{"+/unlisted", "/unlisted-too"}
                                     << "127.0.0.1: 2 URLs — not listed 2\n"
                                        "Not listed: the cache manager did not give its list of objects";
    QTest::newRow("403") << QByteArray("QUELLORY_REFUSE_PURGE") << QList<int>{0} << QStringList{"+/refused", "/refused-too"}
                         << "127.0.0.1: 2 URLs — refused 2\n"
                            "Not purged: URL line 1 (nslookup0.txt), URL line 2 (nslookup1.txt)";
}

void TestReportEndToEnd::reports()
{
    QFETCH(QByteArray, refusing);
    QFETCH(QList<int>, servers);
    QFETCH(QStringList, paths);
    QFETCH(QString, body);
    QStringList urls;
    for (const QString &path : paths) {
        urls << QStringLiteral("http://127.0.0.1:8081/report%1?%2").arg(QString(path).remove(u'+'), m_nonce);
        if (path.startsWith(u'+'))
            QVERIFY(run(tool("squidclient", "squidclient"), words("-h 127.0.0.1 -p 80") << urls.last())
                            .startsWith("HTTP/1.1 200 OK"));
    }
    if (!refusing.isEmpty()) {
        int code = -1;
        QVERIFY2((run(kServerScript, {QStringLiteral("stop")}, &code), code == 0), "stopping squid");
        qputenv(refusing.constData(), "1");
        const QByteArray started = run(kServerScript, {QStringLiteral("start")}, &code);
        qunsetenv(refusing.constData());
        QVERIFY2(code == 0, started.constData());
    }
    // Only this purge's report is on screen, for the action's test after it.
    run(tool("dunstctl", "dunst"), {QStringLiteral("close-all")});
    const qsizetype before = notified().size();
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->purgeRunning(), kForever);
    auto *list = control<QListWidget>(m_window.get(), "List1");
    list->clearSelection();
    list->setCurrentRow(servers.first());
    for (const int row : servers)
        list->item(row)->setSelected(true);
    BoxText::setText(control<QPlainTextEdit>(m_window.get(), "Text1"), urls.join(QStringLiteral("\r\n")));
    ModalWatcher watcher;
    QTest::mouseClick(control<QPushButton>(m_window.get(), "Command1"), Qt::LeftButton);
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(watcher.seen().first().objectName, QStringLiteral("purgeDoneBox"));

    QTRY_VERIFY_WITH_TIMEOUT(notified().size() > before && notified().last().second == body, kForever);
    const QList<std::pair<uint, QString>> calls = notified().mid(before);
    // The slow purge's progress ("2 of 3" at 5 s) and then its report, both in
    // the place of the first notification; every other purge has one.
    // Several servers: their answers so far, as for one, once they run long.
    static const QRegularExpression progress(QStringLiteral("^(127\\.0\\.0\\.3: [0-3] of 3|3 servers: [0-6] of 6) "
                                                            "URLs answered so far$"));
    const bool slow = servers == QList<int>{2};
    QVERIFY2(slow ? calls.size() >= 2 : servers.size() > 1 || calls.size() == 1, qPrintable(calls.first().second));
    for (qsizetype i = 0; i < calls.size(); ++i) {
        QCOMPARE(calls.at(i).first != 0, i > 0);
        if (i + 1 < calls.size())
            QVERIFY2(progress.match(calls.at(i).second).hasMatch(), qPrintable(calls.at(i).second));
    }
    QTRY_COMPARE_WITH_TIMEOUT(run(tool("dunstctl", "dunst"), words("count displayed")).trimmed(), QByteArray("1"),
                              kForever);
}

void TestReportEndToEnd::actionShowsTheResults()
{
    // The report on screen is the refused purge's; the output box still shows
    // what its click showed, the answers of the purge before it. squid's error
    // page has bare LF line ends, which the box gives back as CR LF.
    const AppFolder app(m_app.path());
    const QByteArray script = FileBytes::read(Purge::scriptPath(app));
    const QString expected = QString::fromLocal8Bit(FileBytes::read(Purge::resultPath(app, 0))
                                                    + FileBytes::read(Purge::resultPath(app, 1)))
                                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                     .replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    QVERIFY(expected.startsWith(QStringLiteral("HTTP/1.1 403 Forbidden\r\n")));
    auto *box = control<OutputBox>(m_window.get(), "Text3");
    QVERIFY(box->document()->text() != expected);
    const QDateTime resultTime = QFileInfo(Purge::resultPath(app, 0)).lastModified();

    ModalWatcher watcher;
    run(tool("dunstctl", "dunst"), words("action 0"));
    QTRY_COMPARE_WITH_TIMEOUT(box->document()->text(), expected, kForever);
    // Nothing was started or written, and no box was opened.
    QVERIFY(!m_window->purgeRunning());
    QCOMPARE(FileBytes::read(Purge::scriptPath(app)), script);
    QCOMPARE(QFileInfo(Purge::resultPath(app, 0)).lastModified(), resultTime);
    QVERIFY(watcher.seen().isEmpty());
}

void TestReportEndToEnd::withdrawnBeforeItsId()
{
    // A purge stopped at once: its first notification is withdrawn before the
    // service has said which id it got.
    const QString dunstctl = tool("dunstctl", "dunst");
    run(dunstctl, {QStringLiteral("close-all")});
    const int history = run(dunstctl, words("count history")).trimmed().toInt();
    DesktopNotifier notifier;
    notifier.show(1000, QStringLiteral("withdrawn at once"));
    notifier.withdraw(1000);
    // It reached the daemon, and the daemon closed it again.
    QTRY_VERIFY_WITH_TIMEOUT(!notified().isEmpty() && notified().last().second == QStringLiteral("withdrawn at once"),
                             kForever);
    QTRY_COMPARE_WITH_TIMEOUT(run(dunstctl, words("count history")).trimmed().toInt(), history + 1, kForever);
    QCOMPARE(run(dunstctl, words("count displayed")).trimmed(), QByteArray("0"));
}

QTEST_MAIN(TestReportEndToEnd)
#include "tst_report_e2e.moc"
