// Command scripts: exact lines, quoting, purge numbering and results, the status
// query, and hostile texts run for real through /bin/sh with a stand-in client.
#include "commands/scriptlines/cacheclient.h"
#include "commands/scriptlines/cmdstartline.h"
#include "commands/scriptlines/codepagerule.h"
#include "commands/scriptlines/lanelines.h"
#include "commands/actions/growinganswer.h"
#include "commands/actions/purge.h"
#include "commands/actions/purgeanswer.h"
#include "commands/actions/purgelisting.h"
#include "commands/actions/purgereport.h"
#include "commands/actions/purgeworkers.h"
#include "commands/actions/serverfolder.h"
#include "commands/actions/purgegrid.h"
#include "commands/scripts/scriptrunner.h"
#include "commands/scripts/scriptwriter.h"
#include "commands/scriptlines/shellquote.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/actions/statusfollow.h"
#include "commands/actions/statusquery.h"
#include "commands/actions/varylisting.h"
#include "commands/actions/visiblepassworderror.h"
#include "commands/scriptlines/unsafetexterror.h"
#include "standinclient.h"
#include "storage/fileerror.h"
#include "storage/filetime.h"
#include "storage/textfile.h"
#include "storage/untrustedpatherror.h"

#include "expectedcalls.h"
#include "filebytes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QBuffer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Scripts are for cmd.exe exactly where cmd.exe is the interpreter.
#ifdef Q_OS_WIN
static_assert(nativeShellDialect() == ShellDialect::Cmd);
#else
static_assert(nativeShellDialect() == ShellDialect::Sh);
#endif

namespace {
QList<QByteArray> purgeArgs(const QString &server, const QString &url)
{
    return {"-h", server.toLocal8Bit(), "-p", "80", "-m", "purge", url.toLocal8Bit()};
}
} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void quote_data();
    void quote();
    void redirectTarget_data();
    void redirectTarget();
    void refusedTexts_data();
    void refusedTexts();

    void purgeScriptBytes();
    void purgeAnswers_data();
    void purgeAnswers();
    void laneAnswers_data();
    void laneAnswers();
    void purgeReport();
    void purgeGrid();
    void serverFolderName_data();
    void serverFolderName();
    void twoProgramsPurgeAtOnce();
    void purgeShowsPreviousAnswers();
    void purgeWithNothingToDo();
    void purgeEmptiesLongerScript();
    void purgeWithoutServer();
    void refusedTextWritesNothing();
    void scriptThatCannotBeCreated();
    void optionLikeTexts_data();
    void optionLikeTexts();
    void untrustedFolder_data();
    void untrustedFolder();
    void scriptThatIsNoFile();
    void statusQueryEndsTheLastOne();
    void stopSparesOtherProcesses();
#ifndef Q_OS_WIN
    void scriptsRunBelowTheProgram();
#endif
    void statusQuery();
    void statusQueryEmptyRequest();
    void growingAnswer_data();
    void growingAnswer();
    void varyListing_data();
    void varyListing();
    void storeUrl_data();
    void storeUrl();
    void hostileTexts_data();
    void hostileTexts();

    void nativeDialect();
    void codePageRule_data();
    void codePageRule();
    void ansiBytes_data();
    void ansiBytes();
    void cmdScriptBytes();
    void cmdLines_data();
    void cmdLines();
    void clientLines_data();
    void clientLines();
    void cmdRefusals_data();
    void cmdRefusals();
    void cmdLineLength_data();
    void cmdLineLength();
    void codePagesRefusedBeforeScript();
    void cmdStartLine_data();
    void cmdStartLine();
    void cmdFolderRefusal_data();
    void cmdFolderRefusal();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    AppFolder folder() const { return AppFolder(m_dir->path()); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandInClient> m_client;
};

void TestCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_client = std::make_unique<StandInClient>(m_dir->path());
    // One PURGE a URL line, as these tests count; the values' lines are in
    // hostileTexts and the end-to-end tests.
    QVERIFY(FileBytes::write(path(QStringLiteral("encodings.txt")), QByteArray()));
}

void TestCommands::quote_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    const int sh = int(ShellDialect::Sh);
    const int cmd = int(ShellDialect::Cmd);
    QTest::newRow("sh host as is") << sh << "127.0.0.1"
                                   << "127.0.0.1";
    QTest::newRow("sh plain URL as is") << sh << "http://www.example.com/a/b_c-d.html"
                                        << "http://www.example.com/a/b_c-d.html";
    QTest::newRow("sh empty") << sh << ""
                              << "''";
    QTest::newRow("sh query string") << sh << "http://x/?a=1&b=2"
                                     << "'http://x/?a=1&b=2'";
    QTest::newRow("sh blank") << sh << "a b"
                              << "'a b'";
    QTest::newRow("sh single quote") << sh << "it's"
                                     << "'it'\\''s'";
    QTest::newRow("sh tilde") << sh << "~root"
                              << "'~root'";
    QTest::newRow("sh dollar") << sh << "$HOME"
                               << "'$HOME'";
    QTest::newRow("sh non-ASCII") << sh << QString::fromUtf8("中文") << QString::fromUtf8("'中文'");
    QTest::newRow("sh percent is plain") << sh << "a%20b"
                                         << "a%20b";
    QTest::newRow("cmd host as is") << cmd << "127.0.0.1"
                                    << "127.0.0.1";
    QTest::newRow("cmd path as is") << cmd << "C:\\tools\\squidclient"
                                    << "C:\\tools\\squidclient";
    QTest::newRow("cmd empty") << cmd << ""
                               << "\"\"";
    QTest::newRow("cmd ampersand") << cmd << "http://x/?a=1&b=2"
                                   << "\"http://x/?a=1&b=2\"";
    QTest::newRow("cmd percent doubled") << cmd << "http://x/a%20b"
                                         << "\"http://x/a%%20b\"";
    QTest::newRow("cmd variable") << cmd << "%PATH%"
                                  << "\"%%PATH%%\"";
    QTest::newRow("cmd caret") << cmd << "^x"
                               << "\"^x\"";
    QTest::newRow("cmd folder with blank") << cmd << "C:\\my tools\\squidclient"
                                           << "\"C:\\my tools\\squidclient\"";
    QTest::newRow("cmd trailing backslashes doubled") << cmd << "a b\\\\"
                                                      << "\"a b\\\\\\\\\"";
}

void TestCommands::quote()
{
    QFETCH(int, dialect);
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    ShellQuote::check(ShellDialect(dialect), text, QStringLiteral("text"));
    QCOMPARE(ShellQuote::quote(ShellDialect(dialect), text), quoted);
}

void TestCommands::redirectTarget_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("quoted");
    const int sh = int(ShellDialect::Sh);
    const int cmd = int(ShellDialect::Cmd);
    QTest::newRow("sh double quotes") << sh << "/opt/q/nslookup0.txt"
                                      << "\"/opt/q/nslookup0.txt\"";
    QTest::newRow("sh trailing blank kept") << sh << "/opt/q/info.txt "
                                            << "\"/opt/q/info.txt \"";
    QTest::newRow("sh blanks are fine in double quotes") << sh << "/opt/my q/x"
                                                         << "\"/opt/my q/x\"";
    QTest::newRow("sh dollar needs single quotes") << sh << "/opt/$q/x"
                                                   << "'/opt/$q/x'";
    QTest::newRow("sh backquote needs single quotes") << sh << "/opt/`q`/x"
                                                      << "'/opt/`q`/x'";
    QTest::newRow("cmd double quotes") << cmd << "C:\\tools\\nslookup0.txt"
                                       << "\"C:\\tools\\nslookup0.txt\"";
    QTest::newRow("cmd percent doubled") << cmd << "C:\\100%\\x"
                                         << "\"C:\\100%%\\x\"";
}

void TestCommands::redirectTarget()
{
    QFETCH(int, dialect);
    QFETCH(QString, path);
    QFETCH(QString, quoted);
    QCOMPARE(ShellQuote::quoteRedirectTarget(ShellDialect(dialect), path), quoted);
}

void TestCommands::refusedTexts_data()
{
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    const int sh = int(ShellDialect::Sh);
    const int cmd = int(ShellDialect::Cmd);
    QTest::newRow("cmd double quote") << cmd << "say \"hi\"" << true;
    QTest::newRow("cmd LF") << cmd << "a\nb" << true;
    QTest::newRow("cmd CR") << cmd << "a\rb" << true;
    QTest::newRow("cmd NUL") << cmd << QString(QChar(0)) << true;
    QTest::newRow("cmd everything else") << cmd << "&|<>^%!()'`$;," << false;
    QTest::newRow("sh double quote") << sh << "say \"hi\"" << false;
    QTest::newRow("sh LF") << sh << "a\nb" << false;
    QTest::newRow("sh lone CR") << sh << "a\rb" << false;
    QTest::newRow("sh CR LF") << sh << "a\r\nb" << true;
    QTest::newRow("sh NUL") << sh << QStringLiteral("a") + QChar(0) << true;
    // cmd.exe of Windows reads Ctrl+Z as a line end; the other controls pass (the wine check shows it).
    QTest::newRow("cmd Ctrl+Z") << cmd << QStringLiteral("a\x1a b") << true;
    QString controls;
    for (char16_t u = 1; u < 0x20; ++u) {
        if (u != u'\n' && u != u'\r' && u != 0x1a)
            controls += QChar(u);
    }
    controls += QChar(0x7f);
    QTest::newRow("cmd other controls") << cmd << controls << false;
    QTest::newRow("sh controls") << sh << controls + QChar(0x1a) << false;
    // Half a pair would reach squidclient as U+FFFD or "?"; a whole pair is a character.
    const QString pair = QString::fromUtf8("\xf0\x9f\x98\x80");
    for (const int d : {sh, cmd}) {
        const char *name = d == sh ? "sh" : "cmd";
        QTest::addRow("%s lone high surrogate", name) << d << QStringLiteral("a") + pair.at(0) << true;
        QTest::addRow("%s lone low surrogate", name) << d << pair.at(1) + QStringLiteral("a") << true;
        QTest::addRow("%s swapped pair", name) << d << QString(pair.at(1)) + pair.at(0) << true;
    }
    QTest::newRow("sh surrogate pair") << sh << pair << false;
}

void TestCommands::refusedTexts()
{
    QFETCH(int, dialect);
    QFETCH(QString, text);
    QFETCH(bool, refused);
    bool threw = false;
    try {
        ShellQuote::check(ShellDialect(dialect), text, QStringLiteral("The server"));
    } catch (const UnsafeTextError &error) {
        threw = true;
        QVERIFY(error.message().contains(QStringLiteral("The server")));
    }
    QCOMPARE(threw, refused);
}

void TestCommands::purgeScriptBytes()
{
    const QString shown = Purge::run(folder(), QStringLiteral("127.0.0.1"),
                                     QStringLiteral("U\r\n\r\nhttp://www.example.com/b.html"));
    const QByteArray f = QDir::toNativeSeparators(m_dir->path()).toLocal8Bit();
    // A lane each, the script waiting for both.
    const QByteArray expected = "(\r\n" + f + "/squidclient -h 127.0.0.1 -p 80 -m purge U > \"" + f
            + "/nslookup0.txt\" 2>&1\r\n) &\r\n(\r\n" + f
            + "/squidclient -h 127.0.0.1 -p 80 -m purge http://www.example.com/b.html > \"" + f
            + "/nslookup2.txt\" 2>&1\r\n) &\r\nwait\r\n";
    QCOMPARE(FileBytes::read(Purge::scriptPath(folder())), expected);
    // A fresh folder: one missing-file text per command, nothing between them.
    QCOMPARE(shown, TextFile::missingFileText().repeated(2));

    QVERIFY(m_client->waitForCalls(2));
    auto calls = m_client->calls();
    std::sort(calls.begin(), calls.end(), [](const auto &a, const auto &b) { return a.last() < b.last(); });
    QCOMPARE(calls.at(0).mid(1), purgeArgs("127.0.0.1", "U"));
    QCOMPARE(calls.at(1).mid(1), purgeArgs("127.0.0.1", "http://www.example.com/b.html"));
    QTRY_VERIFY(QFile::exists(path("nslookup2.txt")));
    QVERIFY(!QFile::exists(path("nslookup1.txt")));
}

// Result files as Debian's squid and squidclient, Python's HTTP/1.0 server,
// sh and wine's cmd.exe wrote them (tests/data/answers/README.md says how).
void TestCommands::purgeAnswers_data()
{
    using G = PurgeAnswer::Group;
    QTest::addColumn<QString>("file");
    QTest::addColumn<G>("group");
    QTest::addColumn<int>("status");
    QTest::newRow("squid 200") << "squid-200-purged.txt" << G::Purged << 200;
    QTest::newRow("squid 404") << "squid-404-not-cached.txt" << G::NotCached << 404;
    QTest::newRow("squid 403 ERR_ACCESS_DENIED") << "squid-403-purge-denied.txt" << G::Refused << 403;
    QTest::newRow("squid 400") << "squid-400-invalid-url.txt" << G::OtherStatus << 400;
    QTest::newRow("HTTP/1.0 200") << "http10-200.txt" << G::Purged << 200;
    QTest::newRow("HTTP/1.0 404") << "http10-404.txt" << G::NotCached << 404;
    QTest::newRow("HTTP/1.0 501") << "http10-501-purge-unsupported.txt" << G::OtherStatus << 501;
    QTest::newRow("cannot connect") << "squidclient-cannot-connect.txt" << G::CannotConnect << 0;
    QTest::newRow("cannot resolve") << "squidclient-cannot-resolve.txt" << G::CannotConnect << 0;
    QTest::newRow("closed without answer") << "squidclient-closed-without-answer.txt" << G::NoAnswer << 0;
    QTest::newRow("curl 200") << "curl-200-purged.txt" << G::Purged << 200;
    QTest::newRow("curl 404") << "curl-404-not-cached.txt" << G::NotCached << 404;
    QTest::newRow("curl (7) cannot connect") << "curl-cannot-connect.txt" << G::CannotConnect << 0;
    QTest::newRow("curl (6) cannot resolve") << "curl-cannot-resolve.txt" << G::CannotConnect << 0;
    QTest::newRow("curl (52) empty reply") << "curl-empty-reply.txt" << G::NoAnswer << 0;
    QTest::newRow("curl (28) timed out") << "curl-timed-out.txt" << G::NoAnswer << 0;
    QTest::newRow("sh: not found") << "sh-not-found.txt" << G::DidNotRun << 0;
    QTest::newRow("cmd.exe, English") << "cmd-not-recognized-en.txt" << G::DidNotRun << 0;
    QTest::newRow("cmd.exe, Chinese (GBK)") << "cmd-not-recognized-zh-gbk.txt" << G::DidNotRun << 0;
    QTest::newRow("no result file") << "not-there.txt" << G::DidNotRun << 0;
}

void TestCommands::purgeAnswers()
{
    QFETCH(QString, file);
    QFETCH(PurgeAnswer::Group, group);
    QFETCH(int, status);
    const QString path = QStringLiteral(QUELLORY_TEST_DATA "/answers/") + file;
    QCOMPARE(QFile::exists(path), file != QStringLiteral("not-there.txt"));
    const PurgeAnswer::Answer answer = PurgeAnswer::sortFile(path);
    QCOMPARE(answer.group, group);
    QCOMPARE(answer.status, status);
    // Every answer is told by its start: a status line cut short is not one.
    const QByteArray head = FileBytes::read(path);
    if (status != 0)
        QCOMPARE(PurgeAnswer::sort(QByteArrayView(head).first(11)).group, PurgeAnswer::Group::DidNotRun);
}

void TestCommands::laneAnswers_data()
{
    // curl's write-outs ("<line>.<value>.<last> <status> <header bytes>") as the requests ended.
    QTest::addColumn<QStringList>("ended");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("results");
    const QString refused = "curl: (7) Failed to connect to 127.0.0.1 port 80 after 0 ms: Couldn't connect to server\n";
    const QString slow = "curl: (28) Operation timed out after 120001 milliseconds with 9 bytes received\n";
    QTest::newRow("no answer: its error line, not the last purge's answer")
            << QStringList{"2.0.0 000 0", "1.0.0 000 9", "0.0.0 000 0"} << "Warning: x\n" + slow + refused + slow
            << QStringList{"nslookup0.txt=old", "nslookup1.txt=HTTP/1.1 "}
            << QStringList{"nslookup0.txt=" + slow, "nslookup1.txt=HTTP/1.1 " + refused, "nslookup2.txt=" + slow};
    QTest::newRow("several values joined in their order, once all came")
            << QStringList{"0.1.2 200 9", "1.0.1 200 9", "0.2.2 000 0", "0.0.2 404 9"} << refused
            << QStringList{"nslookup1.txt=old", "d/0.0=404\r\n", "d/0.1=200\r\n", "d/1.0=200"}
            << QStringList{"nslookup0.txt=404\r\n200\r\n" + refused, "nslookup1.txt=old"};
}

void TestCommands::laneAnswers()
{
#ifndef Q_OS_WIN
    QFETCH(QStringList, ended);
    QFETCH(QString, errors);
    QFETCH(QStringList, files);
    // A client that writes what curl wrote.
    const QString client = path("client"), prefix = path("x.L0");
    QVERIFY(FileBytes::write(client, "#!/bin/sh\ncat \"$0.out\"; cat \"$0.err\" >&2\n"));
    QVERIFY(FileBytes::write(client + ".err", errors.toUtf8()));
    QVERIFY(QFile::setPermissions(client, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const SquidclientLine command(ShellDialect::Sh, folder(), "127.0.0.1", CodePages::ofSystem(), CacheClient::curl(client));
    const LaneLines lane(ShellDialect::Sh, command, "m1", 8);
    QByteArray out;
    for (const QString &end : ended) {
        const QStringList f = end.split(QRegularExpression("[ .]"));
        out += lane.writeOut(f[0].toLongLong(), f[1].toLongLong(), f[2].toLongLong()).replace("%{http_code}", f[3])
                       .replace("%{size_header}", f[4]).replace("%{size_download}", "0").toUtf8();
    }
    QVERIFY(FileBytes::write(client + ".out", out) && QDir().mkpath(prefix + ".d") && QDir().mkpath(path("r")));
    for (const QString &file : files)
        QVERIFY(FileBytes::write((file.startsWith("d/") ? prefix + "." : path("r/")) + file.section(u'=', 0, 0),
                                 file.section(u'=', 1).toUtf8()));
    QProcess sh;
    sh.start("/bin/sh", {"-c", (QStringList{lane.curlPrologue()} + lane.curl(prefix, path("r"), 1)).join(u'\n')});
    QVERIFY(sh.waitForFinished(kForever));
    QStringList found;
    for (const QString &name : QDir(path("r")).entryList(QDir::Files))
        found << name + u'=' + QString::fromUtf8(FileBytes::read(path("r/") + name));
    QTEST(found, "results");
    QCOMPARE(QDir(m_dir->path()).entryList({"x.L0*"}, QDir::AllEntries), QStringList()); // the lane's files went
#endif
}

void TestCommands::purgeReport()
{
    // Line 1 is blank; the others get an answer of each group, 403 twice.
    const QStringList files = QStringLiteral("squid-200-purged - squid-404-not-cached squid-403-purge-denied "
                                             "squid-400-invalid-url squidclient-cannot-connect squid-403-purge-denied "
                                             "squidclient-closed-without-answer sh-not-found")
                                      .split(u' ');
    QList<qsizetype> lines;
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (files.at(i) != u'-'
            && QFile::copy(QStringLiteral(QUELLORY_TEST_DATA "/answers/%1.txt").arg(files.at(i)),
                           Purge::resultPath(folder(), i)))
            lines << i;
    }
    // A server name is the operator's text: "%2" in it stays as typed.
    QCOMPARE(PurgeReport::collect(folder(), lines).body(QStringLiteral("cache%2")),
             QStringLiteral("cache%2: 8 URLs — purged 1, not in the cache 1, refused 2, other answer 1 (400), "
                            "cannot connect 1, no answer 1, did not run 1\n"
                            "Not purged: URL line 4 (nslookup3.txt), URL line 5 (nslookup4.txt), "
                            "URL line 6 (nslookup5.txt), …"));
    QCOMPARE(PurgeReport::collect(folder(), {0, 2}).body(QStringLiteral("h")),
             QStringLiteral("h: 2 URLs — purged 1, not in the cache 1"));
    // Accept-Encoding values, their answers appended: a 200 counts a copy; after
    // a 200, anything but 200 or 404 leaves one that may still be served.
    const auto answers = [this](qsizetype line, const QStringList &files) {
        QByteArray all;
        for (const QString &name : files)
            all += FileBytes::read(QStringLiteral(QUELLORY_TEST_DATA "/answers/%1.txt").arg(name));
        QVERIFY(FileBytes::write(Purge::resultPath(folder(), line), all));
    };
    answers(10, {"squid-200-purged", "squid-404-not-cached", "curl-200-purged"});
    answers(11, {"squid-200-purged", "squid-403-purge-denied"});
    answers(12, {"squid-404-not-cached", "squid-200-purged"});
    answers(13, {"squid-200-purged", "squidclient-cannot-connect"});
    // Three answers a line: a client that got none (a closed connection, a
    // time-out) wrote nothing, and its copy may still be served.
    answers(14, {"squid-200-purged", "squid-404-not-cached"});
    QCOMPARE(PurgeReport::collect(folder(), {10, 11, 12, 13, 14}, -1, nullptr, 3).body(QStringLiteral("h")),
             QStringLiteral("h: 5 URLs — purged 1 (2 copies), not removed 3, not in the cache 1\n"
                            "Not purged: URL line 12 (nslookup11.txt), URL line 14 (nslookup13.txt), "
                            "URL line 15 (nslookup14.txt)"));
    // Planned from the server's listing: each line holds one answer a value of
    // its own. Where the listing could not tell every copy, a line that
    // purged or had nothing is not counted so; a failure stays one.
    PurgeListing::Plan plan;
    plan.answered = true;
    plan.values = {{10, {QString(), "gzip", "br"}}, {11, {QString(), "gzip"}}, {12, {QString(), "x"}},
                   {13, {QString(), "x"}}, {14, {QString(), "x"}}};
    plan.unlisted = {12, 13, 14};
    const auto planned = [&](bool answered, bool whole) {
        plan.answered = answered;
        plan.whole = whole;
        return PurgeReport::collect(folder(), {10, 11, 12, 13, 14}, -1, nullptr, plan).body(QStringLiteral("h"));
    };
    const QString counts = QStringLiteral("h: 5 URLs — purged 1 (2 copies), not listed 2, not removed 2\n"
                                          "Not purged: URL line 12 (nslookup11.txt), URL line 14 (nslookup13.txt)\n");
    QCOMPARE(planned(false, false), counts + "Not listed: the cache manager did not give its list of objects");
    QCOMPARE(planned(true, false), counts + "Not listed: the list of objects came cut (see read_ahead_gap)");
    QCOMPARE(planned(true, true), counts + "Not listed: a copy was made with a header no purge can send");
    plan.unlisted.clear();
    QCOMPARE(planned(true, true), QStringLiteral("h: 5 URLs — purged 2 (3 copies), not removed 2, not in the cache 1\n"
                                                 "Not purged: URL line 12 (nslookup11.txt), "
                                                 "URL line 14 (nslookup13.txt)"));

    // Cut for the Windows tray: marked, and never half of a character.
    const QString body = PurgeReport::collect(folder(), lines).body(QString(60, u'c'));
    QCOMPARE(PurgeReport::shortened(body, 255), body.left(254) + QStringLiteral("…"));
    QCOMPARE(PurgeReport::shortened(QStringLiteral("ab\U0001F600c"), 4), QStringLiteral("ab…"));
    QCOMPARE(PurgeReport::shortened(body, body.size()), body);
    QCOMPARE(PurgeReport::progress(QStringLiteral("cache%2"), 5, 9),
             QStringLiteral("cache%2: 5 of 9 URLs answered so far"));

    // A server's name is shown on one line, cut so that the counts always fit.
    const auto first = [&lines, this](const QString &server) {
        return PurgeReport::shortened(PurgeReport::collect(folder(), lines).body(server), 255).section(u'\n', 0, 0);
    };
    QCOMPARE(first(QStringLiteral("cache1\n127.0.0.1: 3 URLs — purged 3\u2028\u202Eb\x7F")),
             QStringLiteral("cache1\uFFFD127.0.0.1: 3 URLs — purged 3\uFFFD\uFFFDb\uFFFD: 8 URLs — purged 1, "
                            "not in the cache 1, refused 2, other answer 1 (400), cannot connect 1, no answer 1, "
                            "did not run 1"));
    QVERIFY(first(QString(250, u'c')).startsWith(QString(63, u'c') + QStringLiteral("…: 8 URLs — purged 1")));
    QVERIFY(first(QString(250, u'c')).endsWith(QStringLiteral("did not run 1")));
    QCOMPARE(PurgeReport::progress(QStringLiteral("a\r\nb"), 1, 2),
             QStringLiteral("a\uFFFD\uFFFDb: 1 of 2 URLs answered so far"));

    // An answer last written before this purge's script is an earlier purge's,
    // and a FIFO is none: neither counts, nor holds the report.
    QFile old(Purge::resultPath(folder(), 0));
    QVERIFY(old.open(QIODevice::ReadWrite));
    QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    old.close();
    QCOMPARE(mkfifo(QFile::encodeName(Purge::resultPath(folder(), 1)).constData(), 0600), 0);
    QCOMPARE(PurgeReport::collect(folder(), {0, 1, 2}, FileTime::modifiedNs(Purge::resultPath(folder(), 2)))
                     .body(QStringLiteral("h")),
             QStringLiteral("h: 3 URLs — not in the cache 1, did not run 2\n"
                            "Not purged: URL line 1 (nslookup0.txt), URL line 2 (nslookup1.txt)"));
}

void TestCommands::purgeGrid()
{
    // Three servers: one purged, one not reached, one refusing line 2 of two.
    const auto report = [](std::initializer_list<PurgeAnswer::Group> groups) {
        PurgeReport report;
        qsizetype line = 0;
        for (const PurgeAnswer::Group group : groups)
            report.add(line++, {group, group == PurgeAnswer::Group::Refused ? 403 : 200, 1});
        return report;
    };
    using G = PurgeAnswer::Group;
    PurgeGrid grid;
    grid.add(QStringLiteral("a"), report({G::Purged, G::Purged}));
    grid.add(QStringLiteral("b\nc"), report({G::CannotConnect, G::CannotConnect}));
    grid.add(QStringLiteral("d"), report({G::Purged, G::Refused}));
    grid.addFailure(QStringLiteral("e"), QStringLiteral("disk full\nmore"));
    grid.add(QStringLiteral("f"), report({G::CannotConnect, G::Refused}));
    QCOMPARE(grid.body(), QStringLiteral("a: 2 URLs — purged 2\n"
                                         "b\uFFFDc: cannot connect\n"
                                         "d: 2 URLs — purged 1, refused 1\n"
                                         "e: did not start (disk full)\n"
                                         "f: 2 URLs — refused 1, cannot connect 1\n"
                                         "Not purged: URL line 1 (nslookup0.txt) on f; …"));
    QCOMPARE(grid.table(), QStringLiteral("a: 2 URLs — purged 2\r\n"
                                          "b\uFFFDc: cannot connect\r\n"
                                          "d: 2 URLs — purged 1, refused 1\r\n"
                                          "e: did not start (disk full)\r\n"
                                          "f: 2 URLs — refused 1, cannot connect 1\r\n"
                                          "Not purged: URL line 1 (nslookup0.txt) on f; "
                                          "URL line 2 (nslookup1.txt) on d, f\r\n"));
    // Twenty servers of long names: the tray's room holds what fits, and says
    // how many are left out.
    PurgeGrid many;
    for (int i = 0; i < 20; ++i)
        many.add(QString(60, QLatin1Char('a' + i)), report({G::Purged}));
    const QString body = many.body();
    QVERIFY2(body.size() <= PurgeGrid::kRoom, qPrintable(body));
    QVERIFY(body.startsWith(QString(60, u'a') + QStringLiteral(": 1 URL — purged 1\n")));
    QVERIFY2(body.endsWith(QStringLiteral("\nand 18 more servers (see the results)")), qPrintable(body));
    QCOMPARE(many.table().count(QStringLiteral("\r\n")), 20);
    QCOMPARE(PurgeGrid::progress(3, 10, 30), QStringLiteral("3 servers: 10 of 30 URLs answered so far"));
}

void TestCommands::serverFolderName_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("readable");
    QTest::newRow("address") << "127.0.0.2" << "s-127.0.0.2-";
    QTest::newRow("case folded, the hash tells them apart") << "Cache.Example" << "s-cache.example-";
    QTest::newRow("a path and a drive") << "..\\C:\\..\\x/../y" << "s-..c..x..y-";
    QTest::newRow("a device name") << "CON" << "s-con-";
    QTest::newRow("empty") << "" << "s--";
    QTest::newRow("long") << QString(300, u'x') << "s-" + QString(32, u'x') + "-";
}

void TestCommands::serverFolderName()
{
    QFETCH(QString, server);
    QFETCH(QString, readable);
    const QString name = ServerFolder::name(server);
    QCOMPARE(name.chopped(16), readable);
    QVERIFY(QRegularExpression(QStringLiteral("^[a-z0-9.-]+[0-9a-f]{16}$")).match(name).hasMatch());
    QVERIFY(ServerFolder::name(server.toLower() + u'.') != name);
    QVERIFY(ServerFolder::name(server.toUpper()) != ServerFolder::name(server.toLower()) || server.toUpper() == server.toLower());
    // Made as named, with its server.txt, and nowhere else.
    const AppFolder made = ServerFolder::make(folder(), server);
    QCOMPARE(made.path(), ServerFolder::rootPath(folder()) + QLatin1Char('/') + name);
    QCOMPARE(made.programPath(), folder().path());
    QCOMPARE(FileBytes::read(made.file(QStringLiteral("server.txt"))), server.toUtf8());
    QCOMPARE(QFileInfo(made.path()).permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther),
             QFileDevice::Permissions());
}

void TestCommands::twoProgramsPurgeAtOnce()
{
    // Two programs purge from one folder at the same moment, over and over,
    // each with a URL that ends its quoted word and runs a command of its own
    // if a script ever gets its line cut or mixed with another's. Every read
    // of test.bat must find one program's script, whole.
    // The stand-in counts its calls, a byte each.
    QVERIFY(FileBytes::write(path(QStringLiteral("squidclient")), "#!/bin/sh\nprintf . >>\"${0%/*}/calls\"\n"));
    const QString canary = path(QStringLiteral("canary"));
    const QString hostile = QStringLiteral("http://x/a';touch '") + canary + QStringLiteral("';'b");
    QSet<QByteArray> scripts; // each program's, as it writes it
    QList<QProcess *> programs;
    for (const auto &[server, count] : {std::pair{QStringLiteral("cacheA"), 40}, {QStringLiteral("cacheBB"), 13}}) {
        QStringList urls;
        for (int i = 0; i < count; ++i)
            urls << (i % 5 == 2 ? hostile : QStringLiteral("http://%1/%2").arg(server).arg(i));
        const QString list = path(server + QStringLiteral(".urls"));
        QVERIFY(FileBytes::write(list, urls.join(QStringLiteral("\r\n")).toUtf8()));
        QByteArray expected;
        // squidclient's lanes name no file of their own.
        const Purge::Lanes lanes{[] { return QString(); }, {}, {}, {}};
        Purge::script(
                folder(), server, urls.join(QStringLiteral("\r\n")), ShellDialect::Sh, CodePages::ofSystem(),
                CacheClient::squidclient(),
                [&](qsizetype, const QString &line, const QString &) { expected += line.toLocal8Bit() + "\r\n"; },
                {}, &lanes);
        scripts.insert(expected);
        auto *program = new QProcess(this);
        program->setProcessChannelMode(QProcess::ForwardedChannels);
        program->start(QStringLiteral(QUELLORY_PURGE_LOOP),
                       {m_dir->path(), server, list, QStringLiteral("25"), path(QStringLiteral("go"))});
        QVERIFY(program->waitForStarted());
        programs << program;
    }
    QVERIFY(FileBytes::write(path(QStringLiteral("go")), QByteArray()));
    const auto running = [&programs] {
        return std::any_of(programs.begin(), programs.end(), [](QProcess *p) {
            p->waitForFinished(0);
            return p->state() != QProcess::NotRunning;
        });
    };
    bool more;
    do {
        more = running(); // the last read is of the file both have left
        const QByteArray script = FileBytes::read(Purge::scriptPath(folder()));
        QVERIFY2(scripts.contains(script) || (more && script == "<missing>"), script.left(300).constData());
    } while (more);
    for (QProcess *program : std::as_const(programs))
        QCOMPARE(program->exitCode(), 0);
    // Every script runs whole, and removes its own copy.
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(path(QStringLiteral("calls"))).size(), 25 * (40 + 13), kForever);
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.run-*")}, QDir::Files), QStringList());
    QVERIFY2(!QFile::exists(canary), "a URL's tail ran as a command");
}

void TestCommands::purgeShowsPreviousAnswers()
{
    QList<qsizetype> purged;
    Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("first\r\nsecond"), nullptr, &purged);
    QCOMPARE(purged, QList<qsizetype>({0, 1}));
    QVERIFY(m_client->waitForCalls(2));
    // Both streams of the client reach the result file.
    QTRY_COMPARE(FileBytes::read(path("nslookup1.txt")), QByteArray("answer for second\nstand-in error\n"));
    // What a report's "Show results" gives: the files of those lines now, in
    // that order, joined as a purge shows them.
    QCOMPARE(Purge::shown(folder(), {1, 7}),
             QStringLiteral("answer for second\nstand-in error\n") + TextFile::missingFileText());

    // Line numbers, not URLs, pick the answers shown.
    const QString shown = Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("\r\nother\r\nthird"));
    QCOMPARE(shown, QStringLiteral("answer for second\nstand-in error\n") + TextFile::missingFileText());
}

void TestCommands::purgeWithNothingToDo()
{
    QCOMPARE(Purge::run(folder(), QStringLiteral("127.0.0.1"), QString()), QString());
    QCOMPARE(FileBytes::read(Purge::scriptPath(folder())), QByteArray());
    QCOMPARE(Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("\r\n\r\n")), QString());
    QCOMPARE(FileBytes::read(Purge::scriptPath(folder())), QByteArray());
}

void TestCommands::purgeEmptiesLongerScript()
{
    QVERIFY(FileBytes::write(Purge::scriptPath(folder()), QByteArray("echo old line\r\n").repeated(50)));
    Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("a"));
    const QByteArray script = FileBytes::read(Purge::scriptPath(folder()));
    QCOMPARE(script.count("\r\n"), 4); // the line in its lane, and the wait
    QVERIFY(!script.contains("old line"));
}

void TestCommands::purgeWithoutServer()
{
    Purge::run(folder(), QString(), QStringLiteral("a"));
    QVERIFY(FileBytes::read(Purge::scriptPath(folder())).contains("/squidclient -h '' -p 80 -m purge a > "));
    QVERIFY(m_client->waitForCalls(1));
    // The empty host stays an argument of its own: -p is never taken for the host.
    QCOMPARE(m_client->calls().at(0).mid(1), purgeArgs(QString(), "a"));
}

void TestCommands::refusedTextWritesNothing()
{
    QVERIFY(FileBytes::write(Purge::scriptPath(folder()), "previous\r\n"));
    const QString bad = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    QVERIFY_THROWS_EXCEPTION(UnsafeTextError,
                             Purge::run(folder(), QStringLiteral("h"), QStringLiteral("ok\r\n") + bad));
    QVERIFY_THROWS_EXCEPTION(UnsafeTextError, Purge::run(folder(), bad, QStringLiteral("ok")));
    QCOMPARE(FileBytes::read(Purge::scriptPath(folder())), QByteArray("previous\r\n"));
    QVERIFY_THROWS_EXCEPTION(UnsafeTextError,
                             StatusQuery().run(folder(), QStringLiteral("h"), QStringLiteral("x\r\ny")));
    // squidclient would show a password to every user: not without a yes.
    QVERIFY_THROWS_EXCEPTION(VisiblePasswordError,
                             StatusQuery().start(folder(), QStringLiteral("h"), QStringLiteral("mgr:info@secret"),
                                                 CacheClient::squidclient(), StatusQuery::Password::Hidden));
    QVERIFY(!QFile::exists(StatusQuery::scriptPath(folder())));
    // More Accept-Encoding values than a purge sends.
    QVERIFY(FileBytes::write(folder().file(QStringLiteral("encodings.txt")), QByteArray("v\r\n").repeated(17)));
    QVERIFY_THROWS_EXCEPTION(FileError, Purge::run(folder(), QStringLiteral("h"), QStringLiteral("ok")));
    QCOMPARE(FileBytes::read(Purge::scriptPath(folder())), QByteArray("previous\r\n"));

}

void TestCommands::scriptThatCannotBeCreated()
{
    QVERIFY(QDir().mkpath(Purge::scriptPath(folder())));
    QVERIFY(QDir().mkpath(StatusQuery::scriptPath(folder())));
    try {
        Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("a"));
        QFAIL("a script that cannot be created must fail the purge");
    } catch (const FileError &error) {
        QCOMPARE(error.path(), Purge::scriptPath(folder()));
    }
    QVERIFY_THROWS_EXCEPTION(FileError,
                             StatusQuery().run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("mgr:info")));
    QTest::qWait(300);
    QVERIFY(m_client->calls().isEmpty()); // nothing was started
}

void TestCommands::optionLikeTexts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::newRow("URL naming another host") << "url"
                                             << "-hother.example" << true;
    QTest::newRow("URL asking for help") << "url"
                                         << "--help" << true;
    QTest::newRow("URL reading a local file") << "url"
                                              << "-P/etc/hostname" << true;
    QTest::newRow("request naming another port") << "request"
                                                 << "-p 3128" << true;
    QTest::newRow("dash inside a URL") << "url"
                                       << "http://a-b.example/-x" << false;
    QTest::newRow("blank before the dash") << "url"
                                           << " -x" << false;
    QTest::newRow("server follows -h, so a dash is its own") << "server"
                                                             << "-x" << false;
    // Both clients send a line feed or a lone CR as it is: a header and a
    // second request of the operator's text.
    QTest::newRow("URL with a line feed") << "url"
                                          << "http://x/\nHost: other.example" << true;
    QTest::newRow("request with a lone CR") << "request"
                                            << "mgr:info\rX-Smuggled: 1" << true;
    QTest::newRow("password with a control") << "request"
                                             << "mgr:info@a\x01" << true;
    QTest::newRow("URL with DEL") << "url" << "http://x/\x7f" << true;
    QTest::newRow("server with a line feed") << "server"
                                             << "h\nX: 1" << true;
    QTest::newRow("a tab is a blank") << "url"
                                      << "http://x/a\tb" << false;
}

void TestCommands::optionLikeTexts()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, refused);
    QVERIFY(FileBytes::write(Purge::scriptPath(folder()), "previous\r\n"));
    QVERIFY(FileBytes::write(StatusQuery::scriptPath(folder()), "previous\r\n"));
    const QString server = field == QLatin1String("server") ? text : QStringLiteral("127.0.0.1");
    const QString url = field == QLatin1String("url") ? QStringLiteral("ok\r\n") + text : QStringLiteral("ok");
    const QString request = field == QLatin1String("request") ? text : QStringLiteral("mgr:info");
    try {
        Purge::run(folder(), server, url);
        // One script at a time: the stand-in's records must not interleave.
        const qsizetype purges = field == QLatin1String("url") ? 2 : 1;
        QVERIFY(m_client->waitForCalls(purges));
        StatusQuery(0).run(folder(), server, request);
        QVERIFY2(!refused, "a text squidclient would read as an option went through");
        QVERIFY(m_client->waitForCalls(purges + 1)); // done before the folder goes
    } catch (const UnsafeTextError &error) {
        QVERIFY2(refused, qPrintable(error.message()));
        QCOMPARE(error.subject(),
                 field == QLatin1String("url")        ? QStringLiteral("URL line 2 (nslookup1.txt)")
                         : field == QLatin1String("server") ? QStringLiteral("The server")
                                                            : QStringLiteral("The request"));
        const QString script
                = field == QLatin1String("request") ? StatusQuery::scriptPath(folder()) : Purge::scriptPath(folder());
        QCOMPARE(FileBytes::read(script), QByteArray("previous\r\n"));
    }
}

void TestCommands::untrustedFolder_data()
{
    QTest::addColumn<QString>("what"); // the folder, or squidclient in it
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<bool>("refused");
    QTest::newRow("folder writable by all") << "folder" << 0777 << false << true;
    QTest::newRow("sticky folder, as /tmp") << "folder" << 01777 << false << true;
    QTest::newRow("folder writable by its group") << "folder" << 0775 << false << true;
    QTest::newRow("folder of ours") << "folder" << 0755 << false << false;
    QTest::newRow("squidclient writable by all") << "squidclient" << 0777 << false << true;
    QTest::newRow("squidclient writable by its group") << "squidclient" << 0770 << false << true;
    // Only root can give a file away; root's own files pass.
    if (geteuid() == 0) {
        QTest::newRow("folder of another user") << "folder" << 0755 << true << true;
        QTest::newRow("squidclient of another user") << "squidclient" << 0755 << true << true;
    }
}

void TestCommands::untrustedFolder()
{
    QFETCH(QString, what);
    QFETCH(int, mode);
    QFETCH(bool, otherOwner);
    QFETCH(bool, refused);
    const QString target = what == QLatin1String("folder") ? folder().path() : path(QStringLiteral("squidclient"));
    const QByteArray name = QFile::encodeName(target);
    QCOMPARE(chmod(name.constData(), mode_t(mode)), 0);
    if (otherOwner)
        QCOMPARE(chown(name.constData(), 65534, 65534), 0);
    bool threw = false;
    try {
        Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("a"));
        QVERIFY(m_client->waitForCalls(1));
    } catch (const UntrustedPathError &error) {
        threw = true;
        QCOMPARE(error.subject(), target);
    }
    QCOMPARE(threw, refused);
    QCOMPARE(QFile::exists(Purge::scriptPath(folder())), !refused);
    QCOMPARE(chmod(QFile::encodeName(folder().path()).constData(), 0700), 0);
}

void TestCommands::scriptThatIsNoFile()
{
    // Opening a FIFO for writing blocks until someone reads it.
    QCOMPARE(mkfifo(QFile::encodeName(Purge::scriptPath(folder())).constData(), 0600), 0);
    QVERIFY_THROWS_EXCEPTION(FileError, Purge::run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("a")));
}

void TestCommands::statusQueryEndsTheLastOne()
{
    // A client that answers "mgr:slow" in two parts, a second apart, like a slow
    // server, and everything else at once.
    QVERIFY(FileBytes::write(path(QStringLiteral("squidclient")),
                             "#!/bin/sh\n"
                             "for a in \"$@\"; do last=$a; done\n"
                             "if [ \"$last\" = /squid-internal-mgr/slow ]; then\n"
                             "  echo 'slow start'; sleep 1; echo 'slow, and much later than the other answer'\n"
                             "elif [ \"$last\" = /squid-internal-mgr/never ]; then echo 'no end'; exec sleep 60\n"
                             "else echo \"answer for $last\"; fi\n"));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("squidclient")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString result = StatusQuery::resultPath(folder());

    StatusQuery query(0);
    query.run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("mgr:slow"));
    QTRY_VERIFY(FileBytes::read(result).startsWith("slow start\n"));
    query.run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("mgr:info"));
    QTRY_COMPARE(FileBytes::read(result), QByteArray("answer for /squid-internal-mgr/info\n"));
    QTest::qWait(1500); // the slow answer would have come by now
    QCOMPARE(FileBytes::read(result), QByteArray("answer for /squid-internal-mgr/info\n"));

    // A followed query that never ends leaves the threads where the purges'
    // reports are made free: on one core there is a single one.
    PurgeWorkers::pool()->setMaxThreadCount(1);
    const auto restore = qScopeGuard([] { PurgeWorkers::pool()->setMaxThreadCount(QThread::idealThreadCount()); });
    const ScriptRunner::StartedScript never = query.start(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("mgr:never"));
    const auto stop = qScopeGuard([&never] { ScriptRunner::stop(never); });
    StatusFollow follow(never, result, 0);
    QSignalSpy arrived(&follow, &StatusFollow::arrived);
    QVERIFY(arrived.wait(kForever));
    const QFuture<int> report = QtConcurrent::run(PurgeWorkers::pool(), [] { return 1; });
    QTRY_VERIFY_WITH_TIMEOUT(report.isFinished(), kForever);
    QVERIFY(!follow.done());
}

void TestCommands::stopSparesOtherProcesses()
{
    // A process id that is not (or no longer) our script is left alone.
    QProcess other;
    other.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(other.waitForStarted());
    ScriptRunner::stop({other.processId(), 1, QString()});
    QVERIFY(!other.waitForFinished(300));
    other.kill();
    other.waitForFinished();

    // Our own script, but under an id the system could have handed on: a start
    // time that is not its own means another process.
    const QString script = StatusQuery::scriptPath(folder());
    QVERIFY(FileBytes::write(script, "sleep 30\r\n"));
    const ScriptRunner::StartedScript started = ScriptRunner::start(script);
    QVERIFY(started.startTime != 0);
    // Running, and not a zombie left for whoever reaps orphans here.
    const auto running = [&started] {
        const QByteArray stat = FileBytes::read(QStringLiteral("/proc/%1/stat").arg(started.pid));
        return stat != "<missing>" && !stat.contains(") Z ");
    };
    ScriptRunner::stop({started.pid, started.startTime + 1, script});
    QTest::qWait(100);
    QVERIFY(running());
    ScriptRunner::stop(started);
    QTRY_VERIFY(!running());
}

#ifndef Q_OS_WIN
void TestCommands::scriptsRunBelowTheProgram()
{
    // A script and what it starts run below the program, whose window they
    // would otherwise take the cores from, in the program's session with
    // nowhere to write; stopped, it is reaped.
    const QString script = StatusQuery::scriptPath(folder());
    QVERIFY(FileBytes::write(script, "sleep 30 & wait\r\n"));
    const ScriptRunner::StartedScript started = ScriptRunner::start(script);
    const QString pid = QString::number(started.pid);
    const auto nices = [&pid] {
        QProcess ps;
        ps.start(QStringLiteral("ps"),
                 {QStringLiteral("-o"), QStringLiteral("ni="), QStringLiteral("-p"), pid, QStringLiteral("--ppid"), pid});
        ps.waitForFinished();
        return ps.readAllStandardOutput().simplified();
    };
    QTRY_COMPARE_WITH_TIMEOUT(nices().split(' ').size(), 2, kForever); // the shell and its sleep
    const QByteArray lowered = QByteArray::number(std::min(19, getpriority(PRIO_PROCESS, 0) + 10));
    QCOMPARE(nices(), lowered + ' ' + lowered);
    // Where each session is an autogroup, nice values weigh only within it.
    QCOMPARE(FileBytes::read(QStringLiteral("/proc/%1/autogroup").arg(pid)),
             FileBytes::read(QStringLiteral("/proc/self/autogroup")));
    for (const char *stream : {"0", "1", "2"})
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(pid, stream)), QStringLiteral("/dev/null"));
    QCOMPARE(qint64(getpgid(pid_t(started.pid))), started.pid);
    ScriptRunner::stop(started);
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
    QVERIFY(!QFile::exists(QStringLiteral("/proc/") + pid));
}
#endif

void TestCommands::statusQuery()
{
    QVERIFY(FileBytes::write(StatusQuery::resultPath(folder()), "an older, longer answer that must disappear\n"));
    QElapsedTimer clock;
    clock.start();
    const QString shown = StatusQuery().run(folder(), QStringLiteral("127.0.0.1"), QStringLiteral("mgr:info"));
    QVERIFY(clock.elapsed() >= 2000);

    const QByteArray f = QDir::toNativeSeparators(m_dir->path()).toLocal8Bit();
    QCOMPARE(FileBytes::read(StatusQuery::scriptPath(folder())),
             f + "/squidclient -h 127.0.0.1 -p 80 /squid-internal-mgr/info > \"" + f + "/info.txt \" 2>&1\r\n");
    // The file on disk keeps the trailing blank of its name.
    QVERIFY(QFile::exists(path(QStringLiteral("info.txt "))));
    QVERIFY(!QFile::exists(path(QStringLiteral("info.txt"))));
    QCOMPARE(shown, QStringLiteral("answer for /squid-internal-mgr/info\nstand-in error\n"));
    QCOMPARE(m_client->calls().at(0).mid(1),
             (QList<QByteArray>{"-h", "127.0.0.1", "-p", "80", "/squid-internal-mgr/info"}));
}

void TestCommands::statusQueryEmptyRequest()
{
    StatusQuery(0).run(folder(), QString(), QString());
    const QByteArray f = QDir::toNativeSeparators(m_dir->path()).toLocal8Bit();
    QCOMPARE(FileBytes::read(StatusQuery::scriptPath(folder())),
             f + "/squidclient -h '' -p 80  > \"" + f + "/info.txt \" 2>&1\r\n");
    QVERIFY(m_client->waitForCalls(1));
    QCOMPARE(m_client->calls().at(0).mid(1), (QList<QByteArray>{"-h", "", "-p", "80"}));
}

void TestCommands::growingAnswer_data()
{
    QTest::addColumn<QList<QByteArray>>("parts"); // as the client writes them, one read after each
    QTest::addColumn<qint64>("limit");
    QTest::newRow("CR LF across two reads") << QList<QByteArray>{"a\r", "\nb\r\n", "c\r"} << qint64(1000);
    QTest::newRow("a character across two reads")
            << QList<QByteArray>{"\xE6\x96", "\x87\xE4", "\xBB\xB6!"} << qint64(1000);
    QTest::newRow("cut at the limit") << QList<QByteArray>{"0123", "4567", "89"} << qint64(6);
    QTest::newRow("nothing at first") << QList<QByteArray>{"", "", "x\n"} << qint64(1000);
    // "!": another query's script emptied the file and wrote its own answer.
    QTest::newRow("replaced by a shorter answer")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\nDate: 1\r\n\r\nold body", "!HTTP/1.1 200 OK\r\nDate: 2\r\n"}
            << qint64(1000);
    QTest::newRow("replaced by a longer answer")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\nDate: 1\r\n", "!HTTP/1.1 200 OK\r\nDate: 2\r\n\r\nnew body"}
            << qint64(1000);
}

void TestCommands::growingAnswer()
{
    // However the answer arrives, the parts joined are what one read of the
    // whole file gives, up to the limit.
    QFETCH(QList<QByteArray>, parts);
    QFETCH(qint64, limit);
    const QString file = path(QStringLiteral("answer"));
    GrowingAnswer answer(file, limit);
    QString joined;
    QByteArray written;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts.at(i).startsWith('!'))
            written = parts.at(i).mid(1);
        else
            written += parts.at(i);
        if (!written.isEmpty())
            QVERIFY(FileBytes::write(file, written));
        const QString part = answer.next(i + 1 == parts.size());
        QCOMPARE(answer.restarted(), parts.at(i).startsWith('!'));
        joined = answer.restarted() ? part : joined + part;
        QCOMPARE(answer.seen(), !written.isEmpty());
    }
    QCOMPARE(joined, TextFile::FileContent(file, limit).text);
    QCOMPARE(answer.cut(), written.size() > limit);
}

void TestCommands::hostileTexts_data()
{
    QTest::addColumn<QString>("subfolder"); // application folder below the temporary one
    QTest::addColumn<QString>("text");      // used as server, URL and request; CANARY is a path
    QTest::addColumn<bool>("curl");         // no squidclient in the folder, curl on PATH
    const auto row = [](const char *name, const QString &subfolder, const QString &text) {
        QTest::newRow(name) << subfolder << text << false;
        QTest::addRow("%s, curl", name) << subfolder << text << true;
    };
    row("ampersand", "app", "http://x/?a=1&touch CANARY");
    row("pipe", "app", "a|touch CANARY");
    row("semicolon", "app", "a;touch CANARY");
    row("redirection", "app", "a>CANARY");
    row("command substitution", "app", "$(touch CANARY)");
    row("backquotes", "app", "`touch CANARY`");
    row("single quotes", "app", "'; touch CANARY; '");
    row("double quotes", "app", "\"; touch CANARY; \"");
    row("cmd variable and caret", "app", "%PATH%^&%%");
    row("glob", "app", "*?[1-2]{c,d}");
    row("variable", "app", "$HOME${PATH}");
    row("non-ASCII", "app", QString::fromUtf8("http://例子.测试/ü é"));
    row("blanks and tab", "app", "  a \t b  ");
    row("backslashes", "app", "\\a\\\\\\");
    row("option look-alike after a blank", "app", " -p");
    row("comment", "app", "#x");
    row("folder with blanks", "my app", "plain");
    row("folder with quotes and dollar", "it's $HOME \"x\" `y`", "a&b");
    row("manager request with password", "app", "mgr:a b;touch CANARY@pass 'word;touch CANARY\"\\x");
    // curl's config files: quotes, its escapes written out, and its own syntax.
    row("curl config escapes", "app", "a\\\"b\\\\c\\nd\\te\\");
    row("curl config syntax", "app", "next = \"x\" # url = http://127.0.0.9/ :");
}

void TestCommands::hostileTexts()
{
    QFETCH(QString, subfolder);
    QFETCH(QString, text);
    QFETCH(bool, curl);
    const QString appPath = path(subfolder);
    QVERIFY(QDir().mkpath(appPath));
    // curl's stand-in records beside itself, in a folder on PATH.
    const QString curlFolder = path(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(curlFolder));
    StandInClient client(curl ? curlFolder : appPath, QByteArray(),
                         curl ? QStringLiteral("curl") : QStringLiteral("squidclient"));
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(curlFolder) + ':' + savedPath);
    const auto restorePath = qScopeGuard([savedPath] { qputenv("PATH", savedPath); });
    const QString canary = path(QStringLiteral("canary"));
    const QString hostile = QString(text).replace(QStringLiteral("CANARY"), canary);
    const AppFolder app(appPath);

    // Purge: the text as URL line and, where it can be a host, as server; then
    // a last line to wait for. What curl refuses as a host is in clientLines.
    QString server = hostile;
    try {
        SquidclientLine(ShellDialect::Sh, app, hostile, CodePages::ofSystem(), CacheClient::find(app));
    } catch (const UnsafeTextError &) {
        QVERIFY(curl);
        server = QStringLiteral("127.0.0.1");
    }
    // The text as the one Accept-Encoding value too.
    QVERIFY(FileBytes::write(app.file(QStringLiteral("encodings.txt")), hostile.toLocal8Bit()));
    ScriptRunner::StartedScript started;
    Purge::run(app, server, hostile + QStringLiteral("\r\nlast"), &started);
    const ExpectedCalls expected{curl, server, false, 2};
    // The two lines run in lanes of their own, each in its order.
    qsizetype count = 0;
    for (const QString &url : {hostile, QStringLiteral("last")})
        count += expected.purge(url, hostile).size();
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(started), kForever);
    const auto calls = client.calls();
    QCOMPARE(calls.size(), count);
    QCOMPARE(calls.at(0).at(0),
             (curl ? curlFolder + QStringLiteral("/curl") : appPath + QStringLiteral("/squidclient")).toLocal8Bit());
    for (const QString &url : {hostile, QStringLiteral("last")}) {
        QList<QList<QByteArray>> ofLine;
        for (const QList<QByteArray> &call : calls) {
            const qsizetype target = call.indexOf("--request-target");
            if ((target < 0 ? call.last() : call.value(target + 1)) == url.toLocal8Bit())
                ofLine << call.mid(1);
        }
        QList<QList<QByteArray>> wanted;
        for (const QStringList &args : expected.purge(url, hostile))
            wanted << ExpectedCalls::local8Bit(args);
        QCOMPARE(ofLine, wanted);
    }

    // Status query: the text as the request; a password goes to squidclient
    // only when the operator allows it, and the real curl on PATH is not
    // asked for here.
    const ScriptRunner::StartedScript query
            = StatusQuery(0).start(app, server, hostile, CacheClient::find(app), StatusQuery::Password::MayShow);
    QVERIFY(client.waitForCalls(count + 1));
    QCOMPARE(client.calls().at(count).mid(1), ExpectedCalls::local8Bit(expected.status(hostile)));
    // Its last line removes curl's config file: the folder is looked at once
    // the script has ended.
    QTRY_VERIFY_WITH_TIMEOUT(!ScriptRunner::isRunning(query), kForever);
    QVERIFY(QFile::exists(StatusQuery::resultPath(app)));

    QVERIFY2(!QFile::exists(canary), "a text from the window ran as a command");
    const QStringList stray = QDir(appPath).entryList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QString &name : stray) {
        QVERIFY2(name == "squidclient" || name == "argv.log" || name == "test.bat" || name == "info.bat"
                         || name == "encodings.txt" || name == "info.txt " || name.startsWith("nslookup"),
                 qPrintable("unexpected file " + name));
        // Scripts and answers are the operator's alone: a script may hold a
        // password, an answer a manager report.
        if (name.endsWith(QLatin1String(".bat")) || name.startsWith(QLatin1String("nslookup")) || name == "info.txt ")
            QCOMPARE(QFile::permissions(app.file(name)) & 0x0077, QFileDevice::Permissions());
    }
}

void TestCommands::nativeDialect()
{
    const CodePages pages = CodePages::ofSystem();
#ifdef Q_OS_WIN
    QCOMPARE(nativeShellDialect(), ShellDialect::Cmd);
    QCOMPARE(pages.ansi, unsigned(GetACP()));
    QCOMPARE(pages.oem, unsigned(GetOEMCP()));
#else
    QCOMPARE(nativeShellDialect(), ShellDialect::Sh);
    // No Windows machine to ask: a cmd script written here takes ASCII only.
    QCOMPARE(pages.ansi, 20127u);
    QCOMPARE(pages.oem, 20127u);
    QVERIFY(CodePageRule::refusal(pages, QStringLiteral("http://x/?a=1&b=%7E")).isEmpty());
    QVERIFY(!CodePageRule::refusal(pages, QString::fromUtf8("café")).isEmpty());
#endif
}

void TestCommands::codePageRule_data()
{
    QTest::addColumn<unsigned>("ansi");
    QTest::addColumn<unsigned>("oem");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("named"); // the character the refusal names; empty: passes
    QTest::newRow("western ASCII") << 1252u << 437u << "http://x/a b?c=1&d=%7E^!~"
                                   << "";
    QTest::newRow("western empty") << 1252u << 437u << ""
                                   << "";
    QTest::newRow("western e acute") << 1252u << 437u << QString::fromUtf8("café") << QString::fromUtf8("é");
    QTest::newRow("western 850 e acute") << 1252u << 850u << QString::fromUtf8("café") << QString::fromUtf8("é");
    QTest::newRow("western euro") << 1252u << 437u << QString::fromUtf8("5€") << QString::fromUtf8("€");
    QTest::newRow("western Chinese") << 1252u << 437u << QString::fromUtf8("a中") << QString::fromUtf8("中");
    QTest::newRow("Chinese text") << 936u << 936u << QString::fromUtf8("http://例子.测试/中文?查看=状态") << "";
    QTest::newRow("Chinese ASCII") << 936u << 936u << "mgr:info"
                                   << "";
    QTest::newRow("Chinese emoji") << 936u << 936u << QString::fromUtf8("中😀") << QString::fromUtf8("😀");
    QTest::newRow("Chinese text on a western machine")
            << 1252u << 850u << QString::fromUtf8("中文") << QString::fromUtf8("中");
    QTest::newRow("UTF-8 machine") << 65001u << 65001u << QString::fromUtf8("café 中文 😀") << "";
    QTest::newRow("unknown code page, ASCII") << 12345u << 12345u << "a&b"
                                              << "";
    QTest::newRow("unknown code page, e acute") << 12345u << 12345u << QString::fromUtf8("é") << QString::fromUtf8("é");
}

void TestCommands::codePageRule()
{
    QFETCH(unsigned, ansi);
    QFETCH(unsigned, oem);
    QFETCH(QString, text);
    QFETCH(QString, named);
    const QString reason = CodePageRule::refusal({ansi, oem}, text);
    if (named.isEmpty()) {
        QCOMPARE(reason, QString());
    } else {
        QVERIFY2(reason.contains(QStringLiteral("\u201c") + named + QStringLiteral("\u201d")), qPrintable(reason));
    }
}

void TestCommands::ansiBytes_data()
{
    QTest::addColumn<unsigned>("ansi");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ASCII") << 1252u << "a%b" << QByteArray("a%b");
    QTest::newRow("windows-1252") << 1252u << QString::fromUtf8("café€") << QByteArray("caf\xe9\x80");
    QTest::newRow("GBK") << 936u << QString::fromUtf8("中文") << QByteArray("\xd6\xd0\xce\xc4");
    QTest::newRow("UTF-8") << 65001u << QString::fromUtf8("é") << QByteArray("\xc3\xa9");
}

void TestCommands::ansiBytes()
{
    QFETCH(unsigned, ansi);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CodePageRule::toAnsi({ansi, ansi}, text), bytes);
}

void TestCommands::cmdScriptBytes()
{
    // A cmd script holds the ANSI code page's bytes, an sh script the local 8-bit ones.
    const QString line = QString::fromUtf8("中文");
    {
        ScriptWriter writer(path(QStringLiteral("cmd.bat")), ShellDialect::Cmd, {936, 936});
        writer.writeLine(line);
        writer.close();
    }
    QCOMPARE(FileBytes::read(path(QStringLiteral("cmd.bat"))), QByteArray("\xd6\xd0\xce\xc4\r\n"));
    {
        ScriptWriter writer(path(QStringLiteral("sh.bat")), ShellDialect::Sh, {936, 936});
        writer.writeLine(line);
        writer.close();
    }
    QCOMPARE(FileBytes::read(path(QStringLiteral("sh.bat"))), line.toLocal8Bit() + "\r\n");
}

void TestCommands::cmdLines_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain folder") << "C:\\tools"
                                  << "C:\\tools\\squidclient -h 127.0.0.1 -p 80 -m purge \"http://x/?a&b\" > "
                                     "\"C:\\tools\\nslookup0.txt\" 2>&1";
    QTest::newRow("drive root") << "Q:\\"
                                << "Q:\\\\squidclient -h 127.0.0.1 -p 80 -m purge \"http://x/?a&b\" > "
                                   "\"Q:\\\\nslookup0.txt\" 2>&1";
    QTest::newRow("variable in folder") << "C:\\a %OS% b"
                                        << "\"C:\\a %%OS%% b\\squidclient\" -h 127.0.0.1 -p 80 -m purge "
                                           "\"http://x/?a&b\" > \"C:\\a %%OS%% b\\nslookup0.txt\" 2>&1";
    QTest::newRow("Chinese folder") << QString::fromUtf8("D:\\缓存")
                                    << QString::fromUtf8("\"D:\\缓存\\squidclient\" -h 127.0.0.1 -p 80 -m purge "
                                                         "\"http://x/?a&b\" > \"D:\\缓存\\nslookup0.txt\" 2>&1");
}

void TestCommands::cmdLines()
{
    QFETCH(QString, folder);
    QFETCH(QString, line);
    // cmd.exe is given Windows paths, joined with a backslash, whatever we run on.
    const AppFolder app(folder);
    const SquidclientLine command(ShellDialect::Cmd, app, QStringLiteral("127.0.0.1"), {936, 936});
    const QString result = app.path() + QStringLiteral("\\nslookup0.txt");
    QCOMPARE(command.purge(QStringLiteral("http://x/?a&b"), result), line);
}

void TestCommands::clientLines_data()
{
    // Script lines for the folder /opt/q (C:\q for cmd.exe) and the result file
    // r in it; curl is /usr/bin/curl (the system's for cmd.exe). An empty line:
    // the server is refused.
    QTest::addColumn<int>("dialect");
    QTest::addColumn<bool>("curl");
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("purge"); // or a status query
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    const int sh = int(ShellDialect::Sh);
    const int cmd = int(ShellDialect::Cmd);
    const QString sc = QStringLiteral("/opt/q/squidclient -h h -p 80 ");
    const QString to = QStringLiteral(" > \"/opt/q/r\" 2>&1");
    const auto row = [](const char *name, int d, bool curl, const QString &server, bool purge, const QString &text,
                        const QString &line) { QTest::newRow(name) << d << curl << server << purge << text << line; };
    row("password", sh, false, "h", false, "mgr:counters@se cret",
        sc + "-U quellory -W 'se cret' /squid-internal-mgr/counters" + to);
    row("password with @ and :", sh, false, "h", false, "mgr:x@a@b:c",
        sc + "-U quellory -W a@b:c /squid-internal-mgr/x" + to);
    row("no mgr: prefix, as it is", sh, false, "h", false, "MGR:info", sc + "MGR:info" + to);
    const QString curl = QStringLiteral("/usr/bin/curl -q -sS -i -g -x '' --connect-timeout 10 ");
    row("curl takes a leading dash as the target", sh, true, "h", true, "--help",
        curl + "-m 120 -X PURGE --request-target --help http://h:80/" + to);
    // The password is in the config file (config in the same folder here).
    row("curl password", sh, true, "h", false, "mgr:counters@p:w;x",
        curl + "-Y 1 -y 120 -K /opt/q/r --request-target /squid-internal-mgr/counters http://h:80/" + to);
    row("curl IPv6 address", sh, true, "::1", true, "u",
        curl + "-m 120 -X PURGE --request-target u http://[::1]:80/" + to);
    row("curl host name", sh, true, "cache-1.example_2.com", true, "u",
        curl + "-m 120 -X PURGE --request-target u http://cache-1.example_2.com:80/" + to);
    for (const char *server : {"", "a b", "user@evil", "evil/x", "[h]", "h:3128", "\xe4\xbe\x8b.test"})
        row(qPrintable(QStringLiteral("curl refuses server \"%1\"").arg(QString::fromUtf8(server))), sh, true,
            QString::fromUtf8(server), true, "u", QString());
    row("cmd curl from the system folder", cmd, true, "h", true, "http://x/?a&b%20",
        "C:\\Windows\\system32\\curl.exe -q -sS -i -g -x \"\" --connect-timeout 10 -m 120 -X PURGE "
        "--request-target \"http://x/?a&b%%20\" "
        "http://h:80/ > \"C:\\q\\r\" 2>&1");
    row("cmd password", cmd, false, "h", false, "mgr:info@100%",
        "C:\\q\\squidclient -h h -p 80 -U quellory -W \"100%%\" /squid-internal-mgr/info > \"C:\\q\\r\" 2>&1");
}

void TestCommands::clientLines()
{
    QFETCH(int, dialect);
    QFETCH(bool, curl);
    QFETCH(QString, server);
    QFETCH(bool, purge);
    QFETCH(QString, text);
    QFETCH(QString, line);
    const bool isCmd = ShellDialect(dialect) == ShellDialect::Cmd;
    const AppFolder folder(isCmd ? QStringLiteral("C:\\q") : QStringLiteral("/opt/q"));
    const CacheClient client = !curl ? CacheClient::squidclient()
            : isCmd                  ? CacheClient::curl(QStringLiteral("C:\\Windows\\system32\\curl.exe"))
                                     : CacheClient::curl(QStringLiteral("/usr/bin/curl"));
    const QString result = isCmd ? QStringLiteral("C:\\q\\r") : QStringLiteral("/opt/q/r");
    try {
        const SquidclientLine command(ShellDialect(dialect), folder, server, {1252, 437}, client);
        if (purge)
            command.checkUrl(text, 0, &Purge::resultName);
        else
            command.check(text, QStringLiteral("The request"));
        QCOMPARE(purge ? command.purge(text, result) : command.status(text, result, result), line);
    } catch (const UnsafeTextError &error) {
        QVERIFY2(line.isEmpty(), qPrintable(error.message()));
        QCOMPARE(error.subject(), QStringLiteral("The server"));
    }
}

void TestCommands::cmdRefusals_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("what"); // the field the refusal names; empty: none refused
    const QString cafe = QString::fromUtf8("café");
    QTest::newRow("all ASCII") << "C:\\q"
                               << "h"
                               << "u"
                               << "r"
                               << "";
    QTest::newRow("folder") << QString::fromUtf8("C:\\José") << "h"
                            << "u"
                            << "r"
                            << "The application folder";
    QTest::newRow("network folder") << "\\\\server\\share"
                                    << "h"
                                    << "u"
                                    << "r"
                                    << "The application folder";
    QTest::newRow("server") << "C:\\q" << cafe << "u"
                            << "r"
                            << "The server";
    QTest::newRow("URL") << "C:\\q"
                         << "h" << cafe << "r"
                         << "URL line 4 (nslookup3.txt)";
    QTest::newRow("request") << "C:\\q"
                             << "h"
                             << "u" << cafe << "The request";
}

void TestCommands::cmdLineLength_data()
{
    QTest::addColumn<QString>("what"); // the field that is made long
    QTest::addColumn<uint>("ansi");
    QTest::addColumn<uint>("oem");
    QTest::addColumn<QString>("unit"); // repeated to make the text
    for (const char *what : {"URL line 4 (nslookup3.txt)", "The request", "The server"}) {
        QTest::addRow("%s, western", what) << QString::fromLatin1(what) << 1252u << 437u << QStringLiteral("u");
        QTest::addRow("%s, chinese", what) << QString::fromLatin1(what) << 936u << 936u << QString::fromUtf8("中");
    }
}

void TestCommands::cmdLineLength()
{
    // Whatever field is long, an accepted text makes a line cmd.exe reads whole
    // (8,191 bytes at most, with the longest result file name), and the refusal
    // comes only a few characters later than it must.
    QFETCH(QString, what);
    QFETCH(uint, ansi);
    QFETCH(uint, oem);
    QFETCH(QString, unit);
    const CodePages pages{ansi, oem};
    const AppFolder folder(QStringLiteral("C:\\Quellory %OS%"));
    const QString longestResult = folder.path() + QStringLiteral("\\nslookup9223372036854775807.txt");
    const auto lineFor = [&](qsizetype units, QString &reason) {
        const QString text = unit.repeated(units);
        const bool isUrl = what.startsWith(QStringLiteral("URL"));
        const bool isRequest = what == QStringLiteral("The request");
        const QString url = isUrl ? text : QStringLiteral("u");
        const QString request = isRequest ? text : QStringLiteral("r");
        try {
            const SquidclientLine command(ShellDialect::Cmd, folder, isUrl || isRequest ? QStringLiteral("h") : text,
                                          pages);
            command.checkUrl(url, 3, &Purge::resultName);
            command.check(request, QStringLiteral("The request"));
            reason.clear();
            const QString line = isRequest ? command.status(request, longestResult) : command.purge(url, longestResult);
            return CodePageRule::toAnsi(pages, line).size();
        } catch (const UnsafeTextError &error) {
            reason = error.subject() + QStringLiteral(": ") + error.message();
            return qsizetype(-1);
        }
    };
    QString reason;
    qsizetype accepted = 0;
    qsizetype refused = 9000;
    QVERIFY(lineFor(accepted, reason) > 0);
    QVERIFY(lineFor(refused, reason) < 0);
    QVERIFY2(reason.startsWith(what + QStringLiteral(": ")) && reason.contains(QStringLiteral("8,191")),
             qPrintable(reason));
    while (refused - accepted > 1) {
        const qsizetype middle = (accepted + refused) / 2;
        (lineFor(middle, reason) > 0 ? accepted : refused) = middle;
    }
    const qsizetype longest = lineFor(accepted, reason);
    QVERIFY2(longest <= 8191, qPrintable(QString::number(longest)));
    QVERIFY2(longest >= 8191 - 2 * 32, qPrintable(QString::number(longest)));
}

void TestCommands::cmdRefusals()
{
    QFETCH(QString, folder);
    QFETCH(QString, server);
    QFETCH(QString, url);
    QFETCH(QString, request);
    QFETCH(QString, what);
    // A western machine: the script is written in code page 1252 and read in 437.
    try {
        const SquidclientLine command(ShellDialect::Cmd, AppFolder(folder), server, {1252, 437});
        command.checkUrl(url, 3, &Purge::resultName);
        command.check(request, QStringLiteral("The request"));
        QCOMPARE(QString(), what);
    } catch (const UnsafeTextError &error) {
        QCOMPARE(error.subject(), what);
    }
    // The same texts go through on a Chinese machine, except the network folder.
    if (!folder.startsWith(QStringLiteral("\\\\")))
        SquidclientLine(ShellDialect::Cmd, AppFolder(folder), server, {936, 936}).checkUrl(url, 3, &Purge::resultName);
}

void TestCommands::codePagesRefusedBeforeScript()
{
    // The scripts are made only from texts that all passed: a refused one hands
    // out no line at all. Half a surrogate pair is a character no code page holds.
    const QString broken = QStringLiteral("caf") + QChar(0xd800);
    const auto noLine = [](qsizetype, const QString &, const QString &) { QFAIL("a line was handed out"); };
    for (const CodePages pages : {CodePages{1252, 437}, CodePages{936, 936}}) {
        QVERIFY_THROWS_EXCEPTION(UnsafeTextError,
                                 Purge::script(folder(), broken, QStringLiteral("u"), ShellDialect::Cmd, pages,
                                               CacheClient::squidclient(), noLine));
        QVERIFY_THROWS_EXCEPTION(UnsafeTextError,
                                 Purge::script(folder(), QStringLiteral("h"), QStringLiteral("u\r\n") + broken,
                                               ShellDialect::Cmd, pages, CacheClient::squidclient(), noLine));
        QVERIFY_THROWS_EXCEPTION(UnsafeTextError,
                                 StatusQuery::script(folder(), QStringLiteral("h"), broken, ShellDialect::Cmd, pages));
    }
}

void TestCommands::cmdStartLine_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<QString>("arguments");
    QTest::newRow("purge") << "C:\\tools\\test.bat"
                           << "C:\\tools"
                           << "/d /v:off /s /c \"\".\\test.bat\"\"";
    QTest::newRow("status") << "C:\\tools\\info.bat"
                            << "C:\\tools"
                            << "/d /v:off /s /c \"\".\\info.bat\"\"";
    QTest::newRow("variable in folder") << "C:\\a %OS% b\\test.bat"
                                        << "C:\\a %OS% b"
                                        << "/d /v:off /s /c \"\".\\test.bat\"\"";
    QTest::newRow("drive root as AppFolder joins it") << "Q:\\\\test.bat"
                                                      << "Q:\\"
                                                      << "/d /v:off /s /c \"\".\\test.bat\"\"";
    QTest::newRow("drive root") << "Q:\\test.bat"
                                << "Q:\\"
                                << "/d /v:off /s /c \"\".\\test.bat\"\"";
    QTest::newRow("special characters") << QString::fromUtf8("D:\\&^!x!(1)'%%\\缓存\\test.bat")
                                        << QString::fromUtf8("D:\\&^!x!(1)'%%\\缓存")
                                        << "/d /v:off /s /c \"\".\\test.bat\"\"";
}

void TestCommands::cmdStartLine()
{
    QFETCH(QString, script);
    QFETCH(QString, workingDirectory);
    QFETCH(QString, arguments);
    const CmdStartLine line(script);
    QCOMPARE(line.workingDirectory(), workingDirectory);
    QCOMPARE(line.arguments(), arguments);
}

void TestCommands::cmdFolderRefusal_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("refused");
    QTest::newRow("local") << "C:\\Program Files\\Quellory" << false;
    QTest::newRow("drive root") << "Q:\\" << false;
    QTest::newRow("network share") << "\\\\server\\share\\quellory" << true;
    QTest::newRow("long path form") << "\\\\?\\C:\\quellory" << true;
}

void TestCommands::cmdFolderRefusal()
{
    QFETCH(QString, folder);
    QFETCH(bool, refused);
    QCOMPARE(!CmdStartLine::folderRefusal(folder).isEmpty(), refused);
}

// Reports as Squid 5.7, 6.13 and 7.7 wrote them for http://127.0.0.1:8080/vary/a.txt,
// cut to the lines that matter; the keys are theirs.
void TestCommands::varyListing_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QStringList>("encodings"); // "(none)": the variant without the header
    QTest::addColumn<QStringList>("keysHeld");  // listed by key alone; "(plain)": the URL itself
    QTest::addColumn<QStringList>("keysNotHeld");
    QTest::addColumn<QStringList>("refresh"); // of the candidates (none), "gzip, deflate", "gzip, deflate, br, zstd"
    QTest::addColumn<bool>("nameable");

    const QByteArray head = "HTTP/1.1 200 OK\r\nServer: squid/6.13\r\nContent-Type: text/plain;charset=utf-8\r\n\r\n";
    const auto entry = [](const char *key, const QByteArray &url = QByteArray(), const QByteArray &vary = QByteArray()) {
        QByteArray text = QByteArray("KEY ") + key + "\n\tSTORE_OK      IN_MEMORY     SWAPOUT_NONE PING_DONE   \n"
                          "\tDISPATCHED,VALIDATED\n\t0 locks, 0 clients, 2 refs\n\tSwap Dir -1, File 0XFFFFFFFF\n";
        if (!url.isEmpty())
            text += "\tGET " + url + "\n";
        if (!vary.isEmpty())
            text += "\tvary_headers: " + vary + "\n";
        if (!url.isEmpty())
            text += "\tinmem_lo: 0\n\tinmem_hi: 316\n\tswapout: 0 bytes queued\n\tobject_sz: 316\n";
        return text + "\n";
    };
    const QByteArray url = "http://127.0.0.1:8080/vary/a.txt";
    const QByteArray inMemory = entry("2660963BA1520F58E6E5BDEAF412D753", url)
            + entry("A6E77CC3539FA5212267E144E5176BB3", url, "accept-encoding=\"gzip,%20deflate\"")
            + entry("28F270305EA372318FF8F3C305882B30", url, "accept-encoding")
            + entry("00000000000000000000000000000001", url, "accept-encoding=\"gzip\", user-agent=\"curl\"")
            + entry("00000000000000000000000000000002", "http://127.0.0.1:8080/vary/b.txt", "accept-encoding=\"br\"")
            + entry("05FB68A8ACE4AFD4E79ADB3CB5FC8856", url, "accept-encoding=\"gzip,%20deflate,%20br,%20zstd\"");
    const QStringList found{"gzip, deflate", "(none)", "gzip, deflate, br, zstd"};
    QTest::newRow("memory") << head + inMemory << true << true << found << QStringList() << QStringList() << found << true;
    QTest::newRow("Squid 7, by kid0") << head + "by kid0 {\n" + inMemory + "} by kid0\n\n" << true << true << found
                                      << QStringList() << QStringList() << found << true;
    QTest::newRow("Squid 7, its end missing") << head + "by kid0 {\n" + inMemory << true << false << found
                                              << QStringList() << QStringList() << found << true;
    // A report that stalls is given up on: curl's complaint comes after what arrived.
    QTest::newRow("cut, curl gave up")
            << head + inMemory + entry("3BBEAE8C756720F548090B98668BB9D5", url).left(60)
                       + "curl: (28) Operation too slow. Less than 1 bytes/sec transferred the last 120 seconds\n"
            << true << false << found << QStringList() << QStringList() << found << true;
    const QStringList beforeCut{"gzip, deflate", "(none)"};
    QTest::newRow("cut in a line") << head + inMemory.left(inMemory.lastIndexOf("=\"gzip,%20deflate,%20br")) << true
                                   << false << beforeCut << QStringList() << QStringList() << beforeCut << true;
    // A client's empty header is a copy of its own, which no line can ask for again.
    QTest::newRow("an empty value")
            << head + entry("2660963BA1520F58E6E5BDEAF412D753", url) + entry("00000000000000000000000000000003", url, "accept-encoding=\"\"")
                       + entry("28F270305EA372318FF8F3C305882B30")
            << true << true << QStringList{""} << QStringList{"(none)"} << QStringList() << QStringList{"(none)"} << false;
    // On disk only, after a restart: keys alone.
    QTest::newRow("disk only")
            << head + entry("2660963BA1520F58E6E5BDEAF412D753") + entry("A6E77CC3539FA5212267E144E5176BB3")
                       + entry("28F270305EA372318FF8F3C305882B30") + entry("05FB68A8ACE4AFD4E79ADB3CB5FC8856")
            << true << true << QStringList()
            << QStringList{"(plain)", "gzip, deflate", "(none)", "gzip, deflate, br, zstd"}
            << QStringList{"gzip,deflate", "gzip", "Gzip, deflate"}
            << QStringList{"(none)", "gzip, deflate", "gzip, deflate, br, zstd"} << true;
    QTest::newRow("manager access refused")
            << QByteArray("HTTP/1.1 403 Forbidden\r\nServer: squid/6.13\r\n\r\n") + inMemory << false << false
            << QStringList() << QStringList() << QStringList{"(plain)"} << QStringList() << true;
    QTest::newRow("no answer") << QByteArray("curl: (7) Failed to connect to 127.0.0.1 port 80 after 0 ms: Couldn't connect to server\n")
                               << false << false << QStringList() << QStringList() << QStringList{"(plain)"}
                               << QStringList() << true;
}

void TestCommands::varyListing()
{
    QFETCH(QByteArray, report);
    QFETCH(bool, answered);
    QFETCH(bool, whole);
    QFETCH(QStringList, encodings);
    QFETCH(QStringList, keysHeld);
    QFETCH(QStringList, keysNotHeld);
    const QString url = QStringLiteral("http://127.0.0.1:8080/vary/a.txt");
    QBuffer file(&report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const VaryListing listing = VaryListing::read(file, {url});
    QCOMPARE(listing.answered(), answered);
    QCOMPARE(listing.whole(), whole);
    QStringList got = listing.encodings(url);
    for (QString &text : got)
        text = text.isNull() ? QStringLiteral("(none)") : text;
    QCOMPARE(got, encodings);
    const auto held = [&](const QString &text) {
        if (text == QLatin1String("(plain)"))
            return listing.holdsPlain(url);
        return listing.holds(url, text == QLatin1String("(none)") ? QString() : text);
    };
    for (const QString &text : keysHeld)
        QVERIFY2(held(text), qPrintable(text));
    for (const QString &text : keysNotHeld)
        QVERIFY2(!held(text), qPrintable(text));

    QFETCH(QStringList, refresh);
    QFETCH(bool, nameable);
    bool canName = false;
    got = listing.refreshValues(url, {QString(), "gzip, deflate", "gzip, deflate, br, zstd"}, &canName);
    for (QString &text : got)
        text = text.isNull() ? QStringLiteral("(none)") : text;
    QCOMPARE(got, refresh);
    QCOMPARE(canName, nameable);
}

// As Squid 5, 6 and 7 name them in the objects report.
void TestCommands::storeUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("stored");
    QTest::newRow("default port") << "http://127.0.0.1:80/vary/x?1" << "http://127.0.0.1/vary/x?1";
    QTest::newRow("case of scheme and host, not path") << "HTTP://WWW.Example.COM/A%2f?Q" << "http://www.example.com/A%2f?Q";
    QTest::newRow("https's port") << "https://example.com:443?x" << "https://example.com?x";
    QTest::newRow("port 80 in the path") << "http://example.com/:80" << "http://example.com/:80";
}

void TestCommands::storeUrl()
{
    QFETCH(QString, url);
    QFETCH(QString, stored);
    QCOMPARE(VaryListing::storeUrl(url), stored);
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
