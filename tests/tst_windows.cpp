// cmd.exe scripts exactly as this program writes them for Windows, run for real
// by wine's cmd.exe, started with the program's own start line, with a recording
// squidclient.exe, and with the system folder's recording curl.exe where there
// is no squidclient: every hostile text must reach the client whole, as server
// (where curl can take it as a host), URL and request, in folders whose names cmd.exe reads specially, on a western
// (1252/437) and a Chinese (936/936) machine; and nothing else may run.
//
// How cmd.exe gets exactly our start line under wine: `wine program args...`
// would rebuild a Windows command line from Linux arguments with quoting of its
// own, so cmd.exe is not started that way. wine runs launch.exe (tests/wine),
// which takes the whole command line and the working directory as its two
// arguments and hands them to CreateProcessW unchanged, as QProcess does on
// Windows with native arguments and a working directory. It prints both back as
// it received them, and the test compares them with what it sent.
#include "commands/actions/purge.h"
#include "commands/actions/statusquery.h"
#include "commands/scriptlines/cacheclient.h"
#include "commands/scriptlines/cmdstartline.h"
#include "commands/scriptlines/codepagerule.h"
#include "commands/scriptlines/codepages.h"
#include "commands/scriptlines/curlconfigquote.h"
#include "commands/scriptlines/shellquote.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scriptlines/unsafetexterror.h"
#include "commands/scripts/runcopy.h"
#include "commands/scripts/scriptwriter.h"
#include "storage/appfolder.h"

#include "expectedcalls.h"
#include "filebytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kWineDir = QStringLiteral(QUELLORY_WINE_DIR);
const QString kWestern = QStringLiteral("western");
const QString kChinese = QStringLiteral("chinese");
// The folder name that stands for the root of drive Q:, which the test maps to a
// folder of its own.
const QString kDriveRoot = QStringLiteral("Q:");
// Where the test's prefix has the stand-in curl.exe, as the system names it.
const QString kSystemCurl = QStringLiteral("C:\\windows\\system32\\curl.exe");

QString programFile(const QString &name)
{
    return kWineDir + QStringLiteral("/bin/") + name;
}

// The Windows path wine gives a Linux one: drive Z: is the Linux root.
QString winePath(const QString &linuxPath)
{
    return QStringLiteral("Z:") + QString(linuxPath).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// AppFolder::file as it joins on Windows.
QString windowsFile(const AppFolder &folder, const QString &name)
{
    return folder.path() + QLatin1Char('\\') + name;
}

QList<QByteArray> recordedCalls(const QString &folder)
{
    const QList<QByteArray> tokens = FileBytes::read(folder + QStringLiteral("/argv.log")).split('\0');
    qsizetype i = 0;
    QList<QByteArray> flat;
    while (i + 1 < tokens.size()) {
        const int count = tokens.at(i).toInt() + 1;
        if (i + 1 + count > tokens.size() - 1)
            break;
        QByteArray joined;
        for (const QByteArray &arg : tokens.mid(i + 1, count))
            joined += arg + "\n";
        flat.append(joined);
        i += 1 + count;
    }
    return flat;
}

// One call as the log shows it: argv[0] and every argument, each ended by "\n".
QByteArray call(const QStringList &argv)
{
    QByteArray joined;
    for (const QString &arg : argv)
        joined += arg.toUtf8() + "\n";
    return joined;
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void machines_data();
    void machines();
    void helpers();
    void scripts_data();
    void scripts();
    void westernBytesDiffer();
    void controlCharacters_data();
    void controlCharacters();
    void longLines_data();
    void longLines();
    void scriptRewrittenWhileRunning_data();
    void scriptRewrittenWhileRunning();

private:
    QProcessEnvironment environment(const QString &machine) const;
    // Runs a Windows program under wine; returns its standard output. Empty
    // error when it ran and exited with 0.
    QByteArray runWine(const QStringList &arguments, const QString &machine, QString &error, int seconds = 120) const;
    // Runs wineserver on the test's prefix with one option, waiting a minute at most.
    void wineServer(const QString &option) const;
    // Starts the script as ScriptRunner does on Windows and waits for it.
    QString runScript(const QString &windowsScriptPath, const QString &machine) const;
    // Runs the scripts of the folder appPath one after the other, as runScript.
    // `prepare`, when given, puts back before each try what a script's run
    // takes away (a purge's lane files).
    QString runScripts(const QStringList &windowsScriptPaths, const QString &appPath, const QString &machine,
                       const std::function<void()> &prepare = {}) const;

    QString m_wine;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWindows::initTestCase()
{
    m_wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    QVERIFY2(!m_wine.isEmpty(), "wine is not installed; `make test` installs it (packages wine and wine64)");
    for (const char *name : {"launch.exe", "squidclient.exe", "curl.exe", "tst_winhelpers.exe"}) {
        QVERIFY2(QFile::exists(programFile(QString::fromLatin1(name))),
                 qPrintable(QStringLiteral("%1 was not built: install the MinGW-w64 cross compiler "
                                           "(g++-mingw-w64-x86-64-win32) and configure again")
                                    .arg(QString::fromLatin1(name))));
    }
    QVERIFY2(QFile::exists(kWineDir + QStringLiteral("/locale/zh_CN.UTF-8/LC_CTYPE")),
             "the zh_CN.UTF-8 locale was not made in the build tree (localedef, package locales)");

    // The test's own wine prefix, made once: wineboot takes a while the first time.
    const QString prefix = kWineDir + QStringLiteral("/prefix");
    if (!QFile::exists(prefix + QStringLiteral("/system.reg"))) {
        QString error;
        runWine({QStringLiteral("wineboot"), QStringLiteral("--init")}, kWestern, error);
        QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("creating the wine prefix: ") + error));
        // The registry files are written when the server ends.
        wineServer(QStringLiteral("-w"));
    }
    QVERIFY(QFile::exists(prefix + QStringLiteral("/system.reg")));
    const QString curl = prefix + QStringLiteral("/drive_c/windows/system32/curl.exe");
    QFile::remove(curl);
    QVERIFY(QFile::copy(programFile(QStringLiteral("curl.exe")), curl));
    // One server for the whole test: left to itself it ends a few seconds after
    // its last program, and a wine started just then can fail without a word.
    wineServer(QStringLiteral("-p"));

    m_dir = std::make_unique<QTemporaryDir>(kWineDir + QStringLiteral("/run-XXXXXX"));
    QVERIFY(m_dir->isValid());
    // Drive Q: is a folder of this run, so a script can live at a drive root.
    const QString driveRoot = m_dir->filePath(QStringLiteral("q-root"));
    QVERIFY(QDir().mkpath(driveRoot));
    const QString link = prefix + QStringLiteral("/dosdevices/q:");
    QFile::remove(link);
    QVERIFY(QFile::link(driveRoot, link));
}

void TestWindows::cleanupTestCase()
{
    // Everything this test started under its own prefix ends with its server.
    wineServer(QStringLiteral("-k"));
    QFile::remove(kWineDir + QStringLiteral("/prefix/dosdevices/q:"));
}

void TestWindows::wineServer(const QString &option) const
{
    QProcess server;
    server.setProcessEnvironment(environment(kWestern));
    server.start(QStandardPaths::findExecutable(QStringLiteral("wineserver")), {option});
    server.waitForFinished(60000);
}

QProcessEnvironment TestWindows::environment(const QString &machine) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), kWineDir + QStringLiteral("/prefix"));
    // Quiet unless QUELLORY_WINEDEBUG asks for wine's own messages (e.g. err+all).
    env.insert(QStringLiteral("WINEDEBUG"), qEnvironmentVariable("QUELLORY_WINEDEBUG", QStringLiteral("-all")));
    // No offer to download Mono or Gecko, no window of any kind, and no menu
    // entries or file types written into the home folder.
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml=;winemenubuilder.exe=d"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // wine takes its code pages from the Linux locale: C gives a US machine
    // (1252/437), zh_CN a Chinese one (936/936). The zh_CN locale is made in the
    // build tree, so nothing needs to be installed system-wide for it.
    env.remove(QStringLiteral("LANGUAGE"));
    if (machine == kChinese) {
        env.insert(QStringLiteral("LOCPATH"), kWineDir + QStringLiteral("/locale"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("zh_CN.UTF-8"));
    } else {
        env.remove(QStringLiteral("LOCPATH"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    }
    return env;
}

QByteArray TestWindows::runWine(const QStringList &arguments, const QString &machine, QString &error, int seconds) const
{
    QProcess wine;
    wine.setProcessEnvironment(environment(machine));
    wine.setStandardInputFile(QProcess::nullDevice());
    wine.start(m_wine, arguments);
    if (!wine.waitForFinished(seconds * 1000)) {
        wine.kill();
        wine.waitForFinished();
        // With the server goes what the launcher started: a script still waiting
        // for a lost lane would delete the next try's lane marks as its own.
        wineServer(QStringLiteral("-k"));
        wineServer(QStringLiteral("-w"));
        wineServer(QStringLiteral("-p"));
        error = QStringLiteral("wine did not finish within %1 s").arg(seconds);
        return QByteArray();
    }
    const QByteArray out = wine.readAllStandardOutput();
    if (wine.exitStatus() != QProcess::NormalExit || wine.exitCode() != 0) {
        error = QStringLiteral("exit code %1; output: %2; errors: %3")
                        .arg(wine.exitCode())
                        .arg(QString::fromUtf8(QByteArray(out).replace('\0', " | ")),
                             QString::fromUtf8(wine.readAllStandardError()));
    }
    return out;
}

QString TestWindows::runScript(const QString &windowsScriptPath, const QString &machine) const
{
    const CmdStartLine start(windowsScriptPath);
    // QProcess on Windows puts the program (COMSPEC) before the native arguments.
    const QString commandLine = QStringLiteral("C:\\windows\\system32\\cmd.exe ") + start.arguments();
    QString error;
    // A script here ends in seconds. One whose lane wine lost (see
    // runScripts) waits for it for good: a minute is plenty to tell.
    const QByteArray out = runWine({programFile(QStringLiteral("launch.exe")), commandLine, start.workingDirectory()},
                                   machine, error, 60);
    if (!error.isEmpty())
        return QStringLiteral("running %1: %2").arg(windowsScriptPath, error);
    const QList<QByteArray> echoed = out.split('\0');
    if (echoed.size() < 2 || QString::fromUtf8(echoed.at(0)) != commandLine
        || QString::fromUtf8(echoed.at(1)) != start.workingDirectory())
        return QStringLiteral("the launcher got another command line or folder: ") + QString::fromUtf8(out);
    return QString();
}

QString TestWindows::runScripts(const QStringList &windowsScriptPaths, const QString &appPath,
                                const QString &machine, const std::function<void()> &prepare) const
{
    // On a busy machine wine now and then fails to start a process at all (the
    // launcher ends without output, CreateProcessW fails, cmd.exe ends with an
    // odd code, or a purge's lane never runs and its script waits for it). Such
    // a run is tried once more, from clean result files; a fault
    // of the scripts or of the start line fails both times, and a canary left by
    // the first run stays for the test to find.
    QString error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const char *name : {"argv.log", "nslookup0.txt", "nslookup1.txt", "info.txt"})
            QFile::remove(appPath + QLatin1Char('/') + QLatin1String(name));
        if (prepare)
            prepare();
        for (const QString &script : windowsScriptPaths) {
            error = runScript(script, machine);
            if (!error.isEmpty())
                break;
        }
        if (error.isEmpty())
            break;
        qWarning("wine failed, trying once more: %s", qPrintable(error));
    }
    return error;
}

void TestWindows::machines_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QByteArray>("codePages");
    QTest::newRow("western") << kWestern << QByteArray("1252 437");
    QTest::newRow("chinese") << kChinese << QByteArray("936 936");
}

void TestWindows::machines()
{
    // The two kinds of machine the scripts are run on are what they claim to be.
    QFETCH(QString, machine);
    QFETCH(QByteArray, codePages);
    QString error;
    const QByteArray out
            = runWine({programFile(QStringLiteral("tst_winhelpers.exe")), QStringLiteral("codepages")}, machine, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(out.trimmed(), codePages);
}

void TestWindows::helpers()
{
    // The Qt-free Windows helpers of src/commands, built by the cross compiler.
    QString error;
    const QByteArray out = runWine({programFile(QStringLiteral("tst_winhelpers.exe"))}, kWestern, error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(out.contains(" passed, 0 failed"), out.constData());
}

void TestWindows::scripts_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("folder"); // the application folder's name, or kDriveRoot
    QTest::addColumn<QString>("text");   // used as server, URL and request; CANARY is a path
    QTest::addColumn<bool>("curl");      // no squidclient.exe: the system's curl.exe
    QTest::addColumn<bool>("failing");   // every request of curl's lanes fails

    const QString app = QStringLiteral("app");
    const auto both = [](const char *name, const QString &machine, const QString &folder, const QString &text) {
        QTest::newRow(name) << machine << folder << text << false << false;
        QTest::addRow("%s, curl", name) << machine << folder << text << true << false;
    };
    const auto western
            = [&](const char *name, const QString &folder, const QString &text) { both(name, kWestern, folder, text); };
    western("plain", app, QStringLiteral("http://127.0.0.1/a/b.html"));
    western("ampersand", app, QStringLiteral("http://x/?a=1&echo x>CANARY"));
    western("pipe", app, QStringLiteral("a|echo x>CANARY"));
    western("redirections", app, QStringLiteral("a<b>CANARY"));
    western("carets", app, QStringLiteral("^&echo x>CANARY^"));
    western("variables", app, QStringLiteral("%PATH%%OS%%~dp0%1%*"));
    western("doubled percent", app, QStringLiteral("100%% %%OS%%"));
    western("delayed expansion", app, QStringLiteral("!OS!x!"));
    western("parentheses", app, QStringLiteral("(echo x>CANARY)"));
    western("trailing backslashes", app, QStringLiteral("a b\\\\"));
    western("backslash alone", app, QStringLiteral("\\"));
    western("command substitution", app, QStringLiteral("$(echo x>CANARY)`echo x`"));
    western("single quotes", app, QStringLiteral("it's 'x'"));
    western("separators", app, QStringLiteral("a;b,c=d  e\tf"));
    western("at sign and label", app, QStringLiteral("@echo x>CANARY & :label"));
    western("folder with blanks", QStringLiteral("my app"), QStringLiteral("plain"));
    western("folder with ampersand", QStringLiteral("a&b"), QStringLiteral("a&b"));
    western("folder with percent", QStringLiteral("100%"), QStringLiteral("plain"));
    western("folder with variable", QStringLiteral("%OS%"), QStringLiteral("plain"));
    western("folder with caret", QStringLiteral("^x^"), QStringLiteral("plain"));
    western("folder with exclamation marks", QStringLiteral("!OS!"), QStringLiteral("!x!"));
    western("folder with parentheses", QStringLiteral("(x)"), QStringLiteral("plain"));
    western("folder with single quote", QStringLiteral("it's"), QStringLiteral("plain"));
    western("folder with everything", QStringLiteral("a & b %OS% ^ (1) !x! 'y' ;,="),
            QStringLiteral("a&echo x>CANARY"));
    western("drive root", kDriveRoot, QStringLiteral("a&b %OS%"));
    western("manager request with password", app, QStringLiteral("mgr:a&echo x>CANARY@pa %OS% ^s!x!"));
    // Each PURGE is sent again alone, and its answer stands where the lane's would.
    QTest::newRow("curl, failed in its lane") << kWestern << QStringLiteral("a&b %OS% !x!")
                                              << QStringLiteral("a&echo x>CANARY %OS% ^!x!") << true << true;

    const auto chinese
            = [&](const char *name, const QString &folder, const QString &text) { both(name, kChinese, folder, text); };
    chinese("chinese text", app, QString::fromUtf8("http://例子.测试/中文?查看=状态&echo x>CANARY"));
    // GBK trail bytes that are "\" and "|" in ASCII: cmd.exe must read whole characters.
    chinese("chinese trail bytes", app, QString::fromUtf8("乗|億乗"));
    chinese("chinese folder", QString::fromUtf8("缓存 %OS% 乗"), QString::fromUtf8("中文"));
    chinese("chinese drive root", kDriveRoot, QString::fromUtf8("查看状态 %OS%"));
}

void TestWindows::scripts()
{
    QFETCH(QString, machine);
    QFETCH(QString, folder);
    QFETCH(QString, text);
    QFETCH(bool, curl);
    QFETCH(bool, failing);
    const CodePages pages = machine == kChinese ? CodePages{936, 936} : CodePages{1252, 437};
    const CacheClient client = curl ? CacheClient::curl(kSystemCurl) : CacheClient::squidclient();

    // Each row in a folder of its own; the drive root is shared and emptied.
    const QString rowDir
            = m_dir->filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    QVERIFY(QDir().mkpath(rowDir));
    QString appPath;
    QString windowsFolder;
    if (folder == kDriveRoot) {
        appPath = m_dir->filePath(QStringLiteral("q-root"));
        QDir root(appPath);
        for (const QString &name : root.entryList(QDir::Files | QDir::NoDotAndDotDot))
            QVERIFY(root.remove(name));
        windowsFolder = QStringLiteral("Q:\\");
    } else {
        appPath = rowDir + QLatin1Char('/') + folder;
        windowsFolder = winePath(appPath);
    }
    QVERIFY(QDir().mkpath(appPath));
    if (!curl)
        QVERIFY(QFile::copy(programFile(QStringLiteral("squidclient.exe")),
                            appPath + QStringLiteral("/squidclient.exe")));

    const QString canary = rowDir + QStringLiteral("/canary");
    const QString hostile = QString(text).replace(QStringLiteral("CANARY"), winePath(canary));
    // Where cmd.exe would go if it expanded %OS% in the folder's name: scripts
    // of the same names there leave the canary.
    const QString trap
            = rowDir + QLatin1Char('/') + QString(folder).replace(QStringLiteral("%OS%"), QStringLiteral("Windows_NT"));
    if (trap != rowDir + QLatin1Char('/') + folder) {
        QVERIFY(QDir().mkpath(trap));
        const QByteArray trapLine = "echo the folder name was expanded> \"" + winePath(canary).toLatin1() + "\"\r\n";
        QVERIFY(FileBytes::write(trap + QStringLiteral("/test.bat"), trapLine));
        QVERIFY(FileBytes::write(trap + QStringLiteral("/info.bat"), trapLine));
    }

    // The very lines the program writes for cmd.exe: the purge with the text as
    // server and URL, then a last line; the status query with it as the request.
    const AppFolder windowsApp(windowsFolder);
    // What curl cannot take as a host is refused (see tst_commands' clientLines).
    QString server = hostile;
    try {
        SquidclientLine(ShellDialect::Cmd, windowsApp, hostile, pages, client);
    } catch (const UnsafeTextError &) {
        QVERIFY(curl);
        server = QStringLiteral("127.0.0.1");
    }
    if (failing)
        QVERIFY(FileBytes::write(appPath + QStringLiteral("/fail"), QByteArray()));
    // Each line in a lane of its own, whose files are named as a run copy's.
    // A lane removes its own files as it ends: a try once more starts from
    // them whole, and from none of what a lane left.
    const QString runName = QStringLiteral("test.run-0000abcd");
    QMap<QString, QByteArray> laneFiles;
    const auto prepareLanes = [&] {
        QDir app(appPath);
        for (const QFileInfo &left : app.entryInfoList({runName + QStringLiteral(".*")}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (left.isDir())
                QDir(left.filePath()).removeRecursively();
            else
                QFile::remove(left.filePath());
        }
        for (auto file = laneFiles.cbegin(); file != laneFiles.cend(); ++file)
            FileBytes::write(appPath + QLatin1Char('/') + file.key(), file.value());
    };
    {
        ScriptWriter writer(appPath + QStringLiteral("/test.bat"), ShellDialect::Cmd, pages);
        const auto companion = [&](const QString &name, const QByteArray &bytes) { laneFiles[name] = bytes; };
        const Purge::Lanes lanes{
                [&] { return windowsFile(windowsApp, runName + QStringLiteral(".bat")); },
                [&](qsizetype lane, const QString &config) {
                    companion(runName + QStringLiteral(".L%1.cfg").arg(lane), CurlConfigQuote::toAnsi(pages, config));
                },
                [&](qsizetype lane, const QStringList &lines) {
                    companion(runName + QStringLiteral(".L%1.bat").arg(lane),
                              CodePageRule::toAnsi(pages, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
                },
                {}};
        // The text as the Accept-Encoding value too.
        Purge::script(
                windowsApp, server, hostile + QStringLiteral("\r\nlast"), ShellDialect::Cmd, pages, client,
                [&](qsizetype, const QString &line, const QString &) {
                    if (!line.isNull())
                        writer.writeLine(line);
                },
                {hostile}, &lanes);
        writer.close();
    }
    {
        // curl's password in a config file of the run, removed by the script.
        const SquidclientLine command(ShellDialect::Cmd, windowsApp, server, pages, client);
        QString config;
        if (command.needsConfig(hostile)) {
            config = windowsFile(windowsApp, QStringLiteral("info.run-1.cfg"));
            QVERIFY(FileBytes::write(appPath + QStringLiteral("/info.run-1.cfg"), command.config(hostile)));
        }
        ScriptWriter writer(appPath + QStringLiteral("/info.bat"), ShellDialect::Cmd, pages);
        writer.writeLine(StatusQuery::script(windowsApp, server, hostile, ShellDialect::Cmd, pages, client, config));
        if (!config.isEmpty())
            writer.writeLine(command.removal(config));
        writer.close();
    }
    const ExpectedCalls calls{curl, server, true};
    const QString program = curl ? kSystemCurl : windowsFile(windowsApp, QStringLiteral("squidclient"));
    // Each line's calls in their order, the lanes' in any order between them,
    // the status query last. A PURGE that failed is sent again once the lane's
    // curl has ended.
    QList<QList<QByteArray>> expectedOfLine;
    for (const QString &url : {hostile, QStringLiteral("last")}) {
        QList<QStringList> lineCalls = calls.purge(url, hostile);
        if (failing)
            lineCalls << lineCalls.at(0) << lineCalls.at(2);
        QList<QByteArray> ofLine;
        for (const QStringList &args : std::as_const(lineCalls))
            ofLine << call(QStringList{program} + args);
        expectedOfLine << ofLine;
    }
    const QByteArray expectedStatus = call(QStringList{program} + calls.status(hostile));
    const qsizetype expectedCount = expectedOfLine.at(0).size() + expectedOfLine.at(1).size() + 1;
    // curl's lanes log "-q -sS" and then each operation's options, in the
    // very order the command line of a request without lanes has them.
    const auto ofLine = [&](const QList<QByteArray> &recorded, const QString &url) {
        QList<QByteArray> found;
        const QByteArray target = (curl ? QStringLiteral("--request-target\n") + url : url).toUtf8() + "\n";
        for (const QByteArray &one : recorded) {
            if (curl ? one.contains(target) : one.endsWith(target))
                found << one;
        }
        return found;
    };
    QString error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        error = runScripts({windowsFile(windowsApp, QStringLiteral("test.bat")),
                            windowsFile(windowsApp, QStringLiteral("info.bat"))},
                           appPath, machine, prepareLanes);
        // On a busy machine wine now and then loses a process cmd.exe was to
        // start, as it does the launcher (see runScripts), or the output of
        // one that was started and logged its call: tried once more. A fault
        // of the scripts misses its call or its answer both times.
        const auto answered = [&appPath] {
            for (const char *name : {"nslookup0.txt", "nslookup1.txt", "info.txt"}) {
                if (QFileInfo(appPath + QLatin1Char('/') + QLatin1String(name)).size() == 0)
                    return false;
            }
            return true;
        };
        if (!error.isEmpty() || (recordedCalls(appPath).size() == expectedCount && answered()))
            break;
        qWarning("a call or an answer is missing (%d of %d calls), trying once more",
                 int(recordedCalls(appPath).size()), int(expectedCount));
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QVERIFY2(!QFile::exists(canary),
             qPrintable(QStringLiteral("something ran that was not squidclient: ")
                        + QString::fromUtf8(FileBytes::read(canary))));
    const QList<QByteArray> recorded = recordedCalls(appPath);
    QCOMPARE(recorded.size(), expectedCount);
    QCOMPARE(recorded.last(), expectedStatus);
    QCOMPARE(ofLine(recorded.first(recorded.size() - 1), hostile), expectedOfLine.at(0));
    QCOMPARE(ofLine(recorded.first(recorded.size() - 1), QStringLiteral("last")), expectedOfLine.at(1));

    // Both output streams reach the result files. Windows drops the trailing
    // blank of "info.txt ", for the script that writes it as for the program
    // that reads it.
    const auto answer = [](const QString &last) { return "answer for " + last.toUtf8() + "\nstand-in error\n"; };
    // The value's PURGE adds its answer; the GETs' go nowhere. curl's lane
    // gives each answer a file of its own, without the error stream, which
    // holds nothing where a request was answered.
    const auto purgeAnswer = [&](const QString &url) {
        if (!curl)
            return answer(url);
        return failing ? answer(calls.serverUrl()) : "answer for " + calls.serverUrl().toUtf8() + "\n";
    };
    QCOMPARE(FileBytes::read(appPath + QStringLiteral("/nslookup0.txt")), purgeAnswer(hostile).repeated(2));
    QCOMPARE(FileBytes::read(appPath + QStringLiteral("/nslookup1.txt")),
             purgeAnswer(QStringLiteral("last")).repeated(2));
    QCOMPARE(FileBytes::read(appPath + QStringLiteral("/info.txt")), answer(calls.status(hostile).last()));

    QStringList files = QDir(appPath).entryList(QDir::Files | QDir::NoDotAndDotDot);
    files.sort();
    // The lanes' own files are gone with them.
    QCOMPARE(files.join(u' '), (failing ? QStringLiteral("argv.log fail ") : QStringLiteral("argv.log "))
                                       + QStringLiteral("info.bat info.txt nslookup0.txt nslookup1.txt ")
                                       + (curl ? "" : "squidclient.exe ") + QStringLiteral("test.bat"));
    QCOMPARE(QDir(appPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
}

void TestWindows::westernBytesDiffer()
{
    // Why "café" is refused on a western machine: written in 1252 and run, it
    // reaches squidclient as "cafΘ", since cmd.exe reads the script in 437.
    const QString cafe = QString::fromUtf8("café");
    QVERIFY_THROWS_EXCEPTION(UnsafeTextError,
                             SquidclientLine(ShellDialect::Cmd, AppFolder(QStringLiteral("C:\\q")), cafe, {1252, 437}));

    const QString appPath = m_dir->filePath(QStringLiteral("western-bytes"));
    QVERIFY(QDir().mkpath(appPath));
    QVERIFY(QFile::copy(programFile(QStringLiteral("squidclient.exe")), appPath + QStringLiteral("/squidclient.exe")));
    const AppFolder windowsApp(winePath(appPath));
    // A machine whose console code page were 1252 too would take it.
    const SquidclientLine command(ShellDialect::Cmd, windowsApp, cafe, {1252, 1252});
    {
        ScriptWriter writer(appPath + QStringLiteral("/test.bat"), ShellDialect::Cmd, {1252, 437});
        writer.writeLine(command.purge(cafe, windowsFile(windowsApp, QStringLiteral("nslookup0.txt"))));
        writer.close();
    }
    const QString error = runScripts({windowsFile(windowsApp, QStringLiteral("test.bat"))}, appPath, kWestern);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString changed = QString::fromUtf8("cafΘ");
    const QString program = windowsFile(windowsApp, QStringLiteral("squidclient"));
    QCOMPARE(recordedCalls(appPath),
             (QList<QByteArray>{call({program, QStringLiteral("-h"), changed, QStringLiteral("-p"),
                                      QStringLiteral("80"), QStringLiteral("-m"), QStringLiteral("purge"), changed})}));
}

void TestWindows::controlCharacters_data()
{
    QTest::addColumn<QString>("machine");
    QTest::newRow("western") << kWestern;
    QTest::newRow("chinese") << kChinese;
}

void TestWindows::controlCharacters()
{
    // Each control character as a URL on a line of its own, written without the
    // check, so the run shows what cmd.exe does with each. CR and LF are left
    // out: they end the line whatever is done. cmd.exe's quoting must refuse
    // exactly those that do not arrive whole, and Ctrl+Z, which wine passes but
    // the cmd.exe of Windows reads as a line end. (A client's text refuses
    // every control character besides; the quoting is what other texts, the
    // folder's name among them, rely on.)
    QFETCH(QString, machine);
    const CodePages pages = machine == kChinese ? CodePages{936, 936} : CodePages{1252, 437};
    const QString appPath = m_dir->filePath(QStringLiteral("controls-") + machine);
    QVERIFY(QDir().mkpath(appPath));
    QVERIFY(QFile::copy(programFile(QStringLiteral("squidclient.exe")), appPath + QStringLiteral("/squidclient.exe")));
    const AppFolder windowsApp(winePath(appPath));
    const QString server = QStringLiteral("h");
    const SquidclientLine command(ShellDialect::Cmd, windowsApp, server, pages);
    const QString result = windowsFile(windowsApp, QStringLiteral("nslookup0.txt"));
    const auto urlWith = [](char16_t u) {
        return QStringLiteral("x%1").arg(unsigned(u), 2, 16, QLatin1Char('0')) + QChar(u) + u'y';
    };
    QList<char16_t> controls;
    for (char16_t u = 1; u < 0x20; ++u) {
        if (u != u'\n' && u != u'\r')
            controls.append(u);
    }
    controls.append(0x7f);
    {
        ScriptWriter writer(appPath + QStringLiteral("/test.bat"), ShellDialect::Cmd, pages);
        for (const char16_t u : controls)
            writer.writeLine(command.purge(urlWith(u), result));
        writer.writeLine(command.purge(QStringLiteral("last"), result));
        writer.close();
    }
    // Wine now and then loses a process cmd.exe was to start (see scripts()):
    // a call missing altogether is tried once more. A character changed on
    // the way still makes its call, with other bytes.
    QString error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        error = runScripts({windowsFile(windowsApp, QStringLiteral("test.bat"))}, appPath, machine);
        if (!error.isEmpty() || recordedCalls(appPath).size() == controls.size() + 1)
            break;
        qWarning("%d of %d calls, trying once more", int(recordedCalls(appPath).size()), int(controls.size() + 1));
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QList<QByteArray> calls = recordedCalls(appPath);
    const QStringList head = {windowsFile(windowsApp, QStringLiteral("squidclient")),
                              QStringLiteral("-h"),
                              server,
                              QStringLiteral("-p"),
                              QStringLiteral("80"),
                              QStringLiteral("-m"),
                              QStringLiteral("purge")};
    QVERIFY2(!calls.isEmpty() && calls.last() == call(head + QStringList{QStringLiteral("last")}),
             "the script did not run to its end");
    QStringList whole, changed, refusedWhole, passedChanged;
    for (const char16_t u : controls) {
        const QString name = QStringLiteral("U+%1").arg(unsigned(u), 4, 16, QLatin1Char('0')).toUpper();
        const bool arrived = calls.contains(call(head + QStringList{urlWith(u)}));
        (arrived ? whole : changed).append(name);
        bool refused = false;
        try {
            ShellQuote::check(ShellDialect::Cmd, urlWith(u), QStringLiteral("URL"));
        } catch (const UnsafeTextError &) {
            refused = true;
        }
        if (!arrived && !refused)
            passedChanged.append(name);
        if (arrived && refused && u != 0x1a)
            refusedWhole.append(name);
    }
    qInfo("%s: arrive whole: %s; changed: %s", qPrintable(machine), qPrintable(whole.join(u' ')),
          qPrintable(changed.isEmpty() ? QStringLiteral("none") : changed.join(u' ')));
    QVERIFY2(passedChanged.isEmpty(),
             qPrintable(QStringLiteral("not refused, but changed on the way: ") + passedChanged.join(u' ')));
    QVERIFY2(refusedWhole.isEmpty(),
             qPrintable(QStringLiteral("refused, but they arrive whole: ") + refusedWhole.join(u' ')));
}

void TestWindows::longLines_data()
{
    QTest::addColumn<int>("length"); // of the URL
    QTest::addColumn<bool>("refused");
    QTest::newRow("7,000 characters") << 7000 << false;
    QTest::newRow("9,000 characters") << 9000 << true;
}

void TestWindows::longLines()
{
    // cmd.exe reads no more than 8,191 characters of a line. The URL is written
    // without the check, so the run shows that a refused one would be cut.
    QFETCH(int, length);
    QFETCH(bool, refused);
    const QString appPath = m_dir->filePath(QStringLiteral("long-%1").arg(length));
    QVERIFY(QDir().mkpath(appPath));
    QVERIFY(QFile::copy(programFile(QStringLiteral("squidclient.exe")), appPath + QStringLiteral("/squidclient.exe")));
    const AppFolder windowsApp(winePath(appPath));
    const QString url = QStringLiteral("http://127.0.0.1/") + QString(length - 17, u'a');
    const CodePages pages{1252, 437};
    const SquidclientLine command(ShellDialect::Cmd, windowsApp, QStringLiteral("h"), pages);
    bool threw = false;
    try {
        command.checkUrl(url, 0, &Purge::resultName);
    } catch (const UnsafeTextError &error) {
        threw = true;
        QVERIFY2(error.message().contains(QStringLiteral("8,191")), qPrintable(error.message()));
    }
    QCOMPARE(threw, refused);
    {
        ScriptWriter writer(appPath + QStringLiteral("/test.bat"), ShellDialect::Cmd, pages);
        writer.writeLine(command.purge(url, windowsFile(windowsApp, QStringLiteral("nslookup0.txt"))));
        writer.writeLine(
                command.purge(QStringLiteral("last"), windowsFile(windowsApp, QStringLiteral("nslookup1.txt"))));
        writer.close();
    }
    const QString error = runScripts({windowsFile(windowsApp, QStringLiteral("test.bat"))}, appPath, kWestern);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QString program = windowsFile(windowsApp, QStringLiteral("squidclient"));
    const QByteArray whole = call({program, QStringLiteral("-h"), QStringLiteral("h"), QStringLiteral("-p"),
                                   QStringLiteral("80"), QStringLiteral("-m"), QStringLiteral("purge"), url});
    const bool arrived = recordedCalls(appPath).contains(whole)
            && FileBytes::read(appPath + QStringLiteral("/nslookup0.txt")).startsWith("answer for " + url.toUtf8());
    QCOMPARE(arrived, !refused);
}

void TestWindows::scriptRewrittenWhileRunning_data()
{
    QTest::addColumn<bool>("runCopy"); // started as the program starts it
    // test.bat itself shows that the rewrite below does what an attacker wants.
    QTest::newRow("test.bat itself") << false;
    QTest::newRow("its run copy") << true;
}

void TestWindows::scriptRewrittenWhileRunning()
{
    // A purge of three URLs is started; while its first squidclient call waits,
    // test.bat is written again, as a program started anew would write it, with
    // a URL whose "&echo" lies just past where the first script's line 1 ends.
    // cmd.exe goes on reading its file at that offset.
    QFETCH(bool, runCopy);
    const QString appPath = m_dir->filePath(runCopy ? QStringLiteral("rewrite-copy") : QStringLiteral("rewrite-self"));
    QVERIFY(QDir().mkpath(appPath));
    QVERIFY(QFile::copy(programFile(QStringLiteral("squidclient.exe")), appPath + QStringLiteral("/squidclient.exe")));
    QVERIFY(FileBytes::write(appPath + QStringLiteral("/hold"), QByteArray()));
    const AppFolder windowsApp(winePath(appPath));
    const CodePages pages{1252, 437};
    const QString server = QStringLiteral("h");
    const QStringList urls = {QStringLiteral("http://127.0.0.1/first"), QStringLiteral("http://127.0.0.1/second"),
                              QStringLiteral("http://127.0.0.1/third")};
    QString runName = QStringLiteral("test.bat");
    qsizetype firstLineEnd = 0;
    {
        ScriptWriter writer(appPath + QStringLiteral("/test.bat"), ShellDialect::Cmd, pages);
        if (runCopy)
            writer.writeRunCopy();
        Purge::script(windowsApp, server, urls.join(QStringLiteral("\r\n")), ShellDialect::Cmd, pages,
                      CacheClient::squidclient(), [&](qsizetype i, const QString &line, const QString &) {
                          if (i == 0)
                              firstLineEnd = line.size() + 2;
                          writer.writeLine(line);
                      });
        writer.close();
        runName = QFileInfo(writer.runPath()).fileName();
    }
    const CmdStartLine start(windowsFile(windowsApp, runName));
    QProcess wine;
    wine.setProcessEnvironment(environment(kWestern));
    wine.setStandardInputFile(QProcess::nullDevice());
    wine.start(m_wine,
               {programFile(QStringLiteral("launch.exe")),
                QStringLiteral("C:\\windows\\system32\\cmd.exe ") + start.arguments(), start.workingDirectory()});
    QTRY_VERIFY_WITH_TIMEOUT(recordedCalls(appPath).size() == 1, 60000);

    const QString canary = appPath + QStringLiteral("/canary");
    const QString tail = QStringLiteral("&echo x>") + winePath(canary) + QStringLiteral("&rem ");
    const auto hostileLine = [&](int ys) {
        QString line;
        Purge::script(windowsApp, server, QStringLiteral("http://127.0.0.1/?a=") + QString(ys, u'y') + tail,
                      ShellDialect::Cmd, pages, CacheClient::squidclient(),
                      [&](qsizetype, const QString &l, const QString &) { line = l; });
        return line;
    };
    // One "y" is left before the "&" at the offset where cmd.exe reads on.
    const int ys = int(firstLineEnd + 1 - hostileLine(0).indexOf(tail));
    QVERIFY(ys > 0);
    const QString line = hostileLine(ys);
    QCOMPARE(line.indexOf(tail), firstLineEnd + 1);
    // Written in place, as any writer may (our own puts a new file in its
    // place, which a running cmd.exe would not even see).
    QVERIFY(FileBytes::write(appPath + QStringLiteral("/test.bat"), CodePageRule::toAnsi(pages, line) + "\r\n"));
    QVERIFY(QFile::remove(appPath + QStringLiteral("/hold")));
    QVERIFY2(wine.waitForFinished(120000), "the script did not end");

    const QString program = windowsFile(windowsApp, QStringLiteral("squidclient"));
    QList<QByteArray> asWritten;
    for (const QString &url : urls)
        asWritten.append(call({program, QStringLiteral("-h"), server, QStringLiteral("-p"), QStringLiteral("80"),
                               QStringLiteral("-m"), QStringLiteral("purge"), url}));
    if (!runCopy) {
        QVERIFY2(QFile::exists(canary), "cmd.exe did not read on in the rewritten file: the check proves nothing");
        return;
    }
    QVERIFY2(!QFile::exists(canary), "the rewritten test.bat ran");
    QCOMPARE(recordedCalls(appPath), asWritten);
    // The copy deleted itself as its last line.
    QVERIFY2(!QFile::exists(appPath + QLatin1Char('/') + runName), qPrintable(runName));
}

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
