// The program's Windows paths, built for Windows with its Qt and run there (under
// wine when built on Linux): appending under LockFileEx, the scripts run by the
// system's own cmd.exe from copies nothing rewrites, the result file by the name
// Windows gives it, ending only our interpreter, and the code pages.
// The purge report's tray message is checked on the packaged program
// (check-windows-app), where wine's tray shows it.
#include "commands/scriptlines/codepagerule.h"
#include "commands/scriptlines/codepages.h"
#include "commands/actions/purge.h"
#include "commands/scripts/scriptrunner.h"
#include "commands/actions/statusquery.h"
#include "storage/appfolder.h"
#include "storage/textfile.h"

#include "filebytes.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

namespace {

// The calls the recording squidclient.exe logged in folder: each one's
// arguments after argv[0], joined by blanks.
QStringList calls(const QString &folder)
{
    const QList<QByteArray> tokens = FileBytes::read(folder + QStringLiteral("/argv.log")).split('\0');
    QStringList result;
    for (qsizetype i = 0; i + 1 < tokens.size();) {
        const int count = tokens.at(i).toInt();
        if (i + 2 + count > tokens.size())
            break;
        QStringList args;
        for (const QByteArray &arg : tokens.mid(i + 2, count))
            args.append(QString::fromUtf8(arg));
        result.append(args.join(u' '));
        i += 2 + count;
    }
    return result;
}

QStringList runCopies(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.run-*.bat")}, QDir::Files);
}

} // namespace

class TestWinPaths : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void appendersTakeTurns();
    void codePages_data();
    void codePages();
    void scriptsRunHiddenThroughTheSystemsCmd();
    void stopEndsOnlyOurs();

private:
    // A folder with the recording squidclient.exe in it.
    QString appFolder(const QString &name);

    QTemporaryDir m_dir;
};

void TestWinPaths::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/squidclient.exe")),
             "the recording squidclient.exe is not beside the test");
}

QString TestWinPaths::appFolder(const QString &name)
{
    const QString path = m_dir.filePath(name);
    if (!QDir().mkpath(path)
        || !QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/squidclient.exe"),
                        path + QStringLiteral("/squidclient.exe")))
        return QString();
    // One PURGE a URL line, as these tests count: no Accept-Encoding values.
    QFile encodings(path + QStringLiteral("/encodings.txt"));
    if (!encodings.open(QIODevice::WriteOnly))
        return QString();
    return path;
}

void TestWinPaths::appendersTakeTurns()
{
    // Four copies of this program append to one file at once, which ends with an
    // unfinished line: every line arrives whole, each writer's in its order.
    const QString file = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("serverlist.txt")));
    QVERIFY(FileBytes::write(file, "unfinished"));
    const int lines = 100;
    QList<QProcess *> writers;
    for (const char *tag : {"A", "B", "C", "D"}) {
        auto *writer = new QProcess(this);
        writer->start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("append"), file, QString::fromLatin1(tag), QString::number(lines)});
        writers.append(writer);
    }
    for (QProcess *writer : writers) {
        QVERIFY(writer->waitForFinished(60000));
        QCOMPARE(writer->exitCode(), 0);
    }
    const QList<QByteArray> got = FileBytes::read(file).split('\n');
    QCOMPARE(got.size(), 4 * lines + 2);
    QCOMPARE(got.first(), QByteArray("unfinished\r"));
    QVERIFY(got.last().isEmpty());
    QMap<QByteArray, int> next;
    for (const QByteArray &line : got.mid(1, 4 * lines)) {
        const QList<QByteArray> parts = line.split('-');
        QVERIFY2(parts.size() == 2 && parts.at(1) == QByteArray::number(next[parts.at(0)]++) + "\r", line.constData());
    }
}

void TestWinPaths::codePages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("ansi"); // empty: refused
    const UINT acp = GetACP();
    QVERIFY2(acp == 1252 || acp == 936, qPrintable(QStringLiteral("a machine the checks do not know: %1").arg(acp)));
    QTest::newRow("ASCII") << QStringLiteral("http://x/?a=1&b") << QByteArray("http://x/?a=1&b");
    if (acp == 936) {
        QTest::newRow("Chinese") << QString::fromUtf8("中文") << QByteArray("\xd6\xd0\xce\xc4");
        QTest::newRow("emoji") << QString::fromUtf8("中😀") << QByteArray();
    } else {
        // 1252 holds é, but cmd.exe reads the script in 437, where E9 is Θ.
        QTest::newRow("e acute") << QString::fromUtf8("café") << QByteArray();
        QTest::newRow("Chinese") << QString::fromUtf8("中文") << QByteArray();
    }
}

void TestWinPaths::codePages()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, ansi);
    const CodePages pages = CodePages::ofSystem();
    QCOMPARE(pages.ansi, unsigned(GetACP()));
    QCOMPARE(pages.oem, unsigned(GetOEMCP()));
    QCOMPARE(CodePageRule::refusal(pages, text).isEmpty(), !ansi.isEmpty());
    if (!ansi.isEmpty())
        QCOMPARE(CodePageRule::toAnsi(pages, text), ansi);
}

void TestWinPaths::scriptsRunHiddenThroughTheSystemsCmd()
{
    // COMSPEC names another program, which records it if it is started.
    const QString decoy = appFolder(QStringLiteral("decoy"));
    QVERIFY(!decoy.isEmpty());
    qputenv("COMSPEC", QDir::toNativeSeparators(decoy + QStringLiteral("/squidclient.exe")).toLocal8Bit());

    const QString path = appFolder(QStringLiteral("a & b %OS%"));
    QVERIFY(!path.isEmpty());
    const AppFolder folder(QDir::toNativeSeparators(path));
    ScriptRunner::StartedScript last;
    Purge::run(folder, QStringLiteral("127.0.0.1"), QStringLiteral("http://127.0.0.1/a?x=1&y=%41\r\n\r\nb"), &last);
    QTRY_COMPARE_WITH_TIMEOUT(calls(path).size(), 2, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(last), 30000);
    // Each line in a lane of its own, in either order.
    QStringList made = calls(path);
    made.sort();
    QCOMPARE(made, (QStringList{QStringLiteral("-h 127.0.0.1 -p 80 -m purge b"),
                                QStringLiteral("-h 127.0.0.1 -p 80 -m purge http://127.0.0.1/a?x=1&y=%41")}));
    QCOMPARE(FileBytes::read(path + QStringLiteral("/nslookup2.txt")), QByteArray("answer for b\nstand-in error\n"));
    // test.bat stays the record of the script, which started the lanes; the
    // copy that ran, and the lanes' own files, are gone.
    const QByteArray record = FileBytes::read(path + QStringLiteral("/test.bat"));
    QVERIFY2(record.count("start \"\" /b ") == 2, record.constData());
    QTRY_COMPARE(runCopies(path), QStringList());

    // The answer is shown, from the file Windows wrote as info.txt.
    StatusQuery query(5000);
    QCOMPARE(query.run(folder, QStringLiteral("127.0.0.1"), QStringLiteral("mgr:info")),
             QStringLiteral("answer for /squid-internal-mgr/info\nstand-in error\n"));
    QVERIFY(QFile::exists(path + QStringLiteral("/info.txt")));

    QVERIFY2(!QFile::exists(decoy + QStringLiteral("/argv.log")), "COMSPEC was started");
    qunsetenv("COMSPEC");
}

void TestWinPaths::stopEndsOnlyOurs()
{
    // Two scripts wait in their squidclient: ours, and one a cmd.exe of someone
    // else's runs. Ending ours leaves the other one alone.
    const QString ours = appFolder(QStringLiteral("ours"));
    const QString other = appFolder(QStringLiteral("other"));
    QVERIFY(!ours.isEmpty() && !other.isEmpty());
    QVERIFY(FileBytes::write(ours + QStringLiteral("/hold"), QByteArray()));
    QVERIFY(FileBytes::write(other + QStringLiteral("/hold"), QByteArray()));

    QProcess theirs;
    theirs.setProgram(QStringLiteral("cmd.exe"));
    theirs.setNativeArguments(QStringLiteral("/d /c \"\"") + QDir::toNativeSeparators(other)
                              + QStringLiteral("\\squidclient.exe\" x > \"")
                              + QDir::toNativeSeparators(other + QStringLiteral("/answer.txt"))
                              + QStringLiteral("\"\""));
    theirs.start();
    QVERIFY(theirs.waitForStarted());
    const AppFolder folder(QDir::toNativeSeparators(ours));
    ScriptRunner::StartedScript last;
    Purge::run(folder, QStringLiteral("h"), QStringLiteral("u"), &last);
    QTRY_COMPARE_WITH_TIMEOUT(calls(ours).size(), 1, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(calls(other).size(), 1, 60000);
    QVERIFY(ScriptRunner::isRunning(last));

    ScriptRunner::stop(last);
    QVERIFY(!ScriptRunner::isRunning(last));
    QCOMPARE(runCopies(ours), QStringList());
    QCOMPARE(theirs.state(), QProcess::Running);

    // Let both go: theirs answers; ours, ended with its script, never does.
    QVERIFY(QFile::remove(ours + QStringLiteral("/hold")));
    QVERIFY(QFile::remove(other + QStringLiteral("/hold")));
    QVERIFY(theirs.waitForFinished(30000));
    QCOMPARE(FileBytes::read(other + QStringLiteral("/answer.txt")), QByteArray("answer for x\n"));
    QTest::qWait(500);
    QCOMPARE(FileBytes::read(ours + QStringLiteral("/nslookup0.txt")), QByteArray());
}

int main(int argc, char *argv[])
{
    // A writer for appendersTakeTurns: append FILE TAG COUNT.
    if (argc == 5 && qstrcmp(argv[1], "append") == 0) {
        QCoreApplication app(argc, argv);
        const QStringList args = app.arguments();
        for (int i = 0; i < args.at(4).toInt(); ++i) {
            if (!TextFile::WriteContentLine(args.at(3) + QLatin1Char('-') + QString::number(i), args.at(2)))
                return 1;
        }
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestWinPaths test;
    QTEST_SET_MAIN_SOURCE_PATH
    QStringList args = app.arguments();
    if (GetConsoleWindow() || args.contains(QStringLiteral("-o")))
        return QTest::qExec(&test, args);
    // Without a console, as under wine with the output in a pipe, QtTest sends
    // its log to the debugger, where no one sees it: it goes into a file, which
    // is then copied to standard output.
    const QString log = QDir::temp().filePath(QStringLiteral("tst_winpaths-%1.txt").arg(GetCurrentProcessId()));
    const int failed = QTest::qExec(&test, args << QStringLiteral("-o") << log + QStringLiteral(",txt"));
    const QByteArray text = FileBytes::read(log);
    fwrite(text.constData(), 1, size_t(text.size()), stdout);
    QFile::remove(log);
    return failed;
}

#include "tst_winpaths.moc"
