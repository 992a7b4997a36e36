// quellory_bench: how long the operator waits for each action of the window on
// large inputs, beside plain C++ doing only the file work the action cannot avoid
// (baseline/...), and the memory the largest actions take (peak/...). Nothing is
// sent anywhere: the only address is 127.0.0.1, and the scripts the window starts
// run no line (disarmScripts). `make bench` also prints bench/summary.py's table.

#include "commands/actions/purge.h"
#include "commands/actions/purgereport.h"
#include "commands/actions/purgeworkers.h"
#include "commands/actions/resultreader.h"
#include "commands/scripts/scriptrunner.h"
#include "commands/actions/statusquery.h"
#include "commands/actions/varylisting.h"
#include "outputbox/widget/outputbox.h"
#include "storage/serverlist.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"
#include "window/layouttable.h"
#include "window/windowcontrols.h"

#include "paintclock.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <set>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

// The file work an action cannot avoid, in plain C++ with as little else as
// possible, to show what the program adds on top. Paths and texts are UTF-8.
namespace Baseline {

void appendFile(std::string &out, const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out += "文件不存在！！";
        return;
    }
    char buffer[64 * 1024];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(got));
    ::close(fd);
}

// One std::ofstream writes test.bat as Purge::run does for plain URLs; gives
// what the result files hold (open, read, close), or the missing-file text (one
// failed open).
std::string purge(const std::string &folder, const std::string &urls)
{
    std::ofstream script(folder + "/test.bat", std::ios::binary | std::ios::trunc);
    const std::string start = folder + "/squidclient -h 127.0.0.1 -p 80 -m purge ";
    std::string shown, path;
    long line = 0;
    for (std::string::size_type pos = 0, end; pos <= urls.size(); pos = end + 2, ++line) {
        end = std::min(urls.find("\r\n", pos), urls.size());
        if (end > pos) {
            path.assign(folder).append("/nslookup").append(std::to_string(line)).append(".txt");
            script << start;
            script.write(urls.data() + pos, std::streamsize(end - pos)) << " > \"" << path << "\" 2>&1\r\n";
            appendFile(shown, path.c_str());
        }
    }
    return shown;
}

// Opens, reads the first bytes of and closes the result file of every line, as
// sorting a purge's answers must.
long readHeads(const std::string &folder, long lines)
{
    long read = 0;
    std::string path;
    char head[64];
    for (long line = 0; line < lines; ++line) {
        path.assign(folder).append("/nslookup").append(std::to_string(line)).append(".txt");
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        read += ::read(fd, head, sizeof head) > 0;
        ::close(fd);
    }
    return read;
}

std::string readFile(const std::string &path)
{
    std::string out;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        out.reserve(size_t(info.st_size)); // one large file: size the text once
    appendFile(out, path.c_str());
    return out;
}

// One read() of the first `bytes` of a file, decoded as UTF-8 by Qt: the least a
// window that shows them has to do.
QString readAndDecode(const std::string &path, qint64 bytes)
{
    QByteArray buffer(qsizetype(bytes), Qt::Uninitialized);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t got = fd < 0 ? 0 : ::read(fd, buffer.data(), size_t(buffer.size()));
    if (fd >= 0)
        ::close(fd);
    buffer.truncate(qMax<qsizetype>(got, 0));
    return QString::fromUtf8(buffer);
}

std::string statusQuery(const std::string &folder, const std::string &request)
{
    std::ofstream(folder + "/info.bat", std::ios::binary)
            << folder << "/squidclient -h 127.0.0.1 -p 80 " << request << " > \"" << folder << "/info.txt \" 2>&1\r\n";
    return readFile(folder + "/info.txt ");
}

} // namespace Baseline

namespace {

using benchmark::State;
using Clock = std::chrono::steady_clock;

constexpr qsizetype kLines = 100000; // the largest purge
constexpr int kServers = 10000;
constexpr qsizetype kStatusBytes = 50 << 20;
constexpr qint64 kEndlessBytes = 300000000; // an answer that did not end, cut at 256 MiB
const QByteArray kEndlessLine = "an answer that does not end, line after line\n";
const QString kServer = QStringLiteral("127.0.0.1"), kRequest = QStringLiteral("mgr:info");
const QByteArray kPurgeAnswer = "HTTP/1.1 200 OK\r\nServer: squid/5.7\r\nMime-Version: 1.0\r\n"
                                "Date: Mon, 06 May 2024 09:14:27 GMT\r\nContent-Length: 0\r\n"
                                "Cache-Control: no-cache, private\r\nX-Cache: MISS from cache-1.localdomain\r\n"
                                "X-Cache-Lookup: NONE from cache-1.localdomain:3128\r\n"
                                "Via: 1.1 cache-1.localdomain (squid/5.7)\r\nConnection: close\r\n\r\n";

QString g_root;
QByteArray g_path;                                         // PATH before disarmScripts()
std::map<QString, std::unique_ptr<CacheWindow>> g_windows; // by folder name
bool g_memoryPass = false;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Text3 is found as a scroll area only, and read and emptied only here.
QAbstractScrollArea *outputBox(QWidget *window)
{
    return window->findChild<QAbstractScrollArea *>(QStringLiteral("Text3"));
}

QString outputText(QWidget *window)
{
    return qobject_cast<OutputBox *>(outputBox(window))->document()->text();
}

void drainEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void clearOutput(QWidget *window)
{
    qobject_cast<OutputBox *>(outputBox(window))->clear();
    drainEvents();
}

// The window's controls with their texts at their places on a plain QWidget,
// List1 filled as from a one-server list: what the window shows, and nothing else.
QWidget *bareWindow()
{
    auto *window = new QWidget;
    window->setWindowTitle(QStringLiteral("Quellory"));
    window->setFixedSize(LayoutTable::clientSize());
    WindowControls::make(window).serverList->addItems({kServer, QString()});
    return window;
}

void writeOrDie(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
}

// ScriptRunner starts each script's run copy as
// `/bin/sh -c 's=$(sed 's/\r$//' "$1") && rm -f -- "$1" && eval "$s"'` and does
// not wait: a 100,000-line script would start 100,000 processes while the next
// case is timed, and create or empty the result files the cases rely on. With
// PATH naming an empty folder the shell finds no sed and exits; its fork and exec
// stay inside the measured time. Nor does it find rm, so the run copies are
// removed by the benchmark (removeRunCopies). A probe script proves it first.
// Should the runner change, the folders' squidclient is a stand-in that exits at
// once, and every click checks the result files.
void disarmScripts()
{
    const QString empty = g_root + QStringLiteral("/empty"), probe = g_root + QStringLiteral("/probe");
    QDir().mkpath(empty);
    g_path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty));
    writeOrDie(probe + QStringLiteral(".bat"), ": > '" + QFile::encodeName(probe) + "'\r\n");
    const qint64 pid = ScriptRunner::start(probe + QStringLiteral(".bat")).pid;
    for (QDeadlineTimer deadline(2000); !deadline.hasExpired() && ::kill(pid_t(pid), 0) == 0;)
        QThread::msleep(5);
    if (QFile::exists(probe))
        qFatal("a started script ran a line; running the benchmarks would not be safe");
}

// The run copies that the disarmed shell could not remove, outside the time.
void removeRunCopies(const AppFolder &app)
{
    QDir dir(app.path());
    for (const QString &name : dir.entryList({QStringLiteral("*.run-*.bat")}, QDir::Files))
        dir.remove(name);
}

QString urlText(qsizetype lines)
{
    QString text;
    text.reserve(lines * 64);
    for (qsizetype i = 0; i < lines; ++i)
        text += (i > 0 ? QStringLiteral("\r\n") : QString())
                + QStringLiteral("http://127.0.0.1/assets/images/products/2024/item-")
                + QString::number(i).rightJustified(6, QLatin1Char('0')) + QStringLiteral(".jpg");
    return text;
}

// An application folder, made on first use so a filtered run pays only for what
// it runs: a squidclient that does nothing, loopback servers (127.0.x.y), and the
// result files of a second purge or of a status query where the name says so.
AppFolder folder(const QString &name)
{
    static std::set<QString> made;
    const AppFolder app(g_root + QLatin1Char('/') + name);
    if (!made.insert(name).second)
        return app;
    QDir().mkpath(app.path());
    writeOrDie(app.file(QStringLiteral("squidclient")), "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(app.file(QStringLiteral("squidclient")), QFile::ReadOwner | QFile::ExeOwner);
    // One PURGE a URL line, as Baseline writes: the Accept-Encoding values'
    // cost is quellory_squidbench's, against a real squid.
    writeOrDie(app.file(QStringLiteral("encodings.txt")), QByteArray());
    QByteArray servers;
    for (int n = 1; n <= (name == QStringLiteral("servers") ? kServers : 1); ++n)
        servers += "127.0." + QByteArray::number(n / 256) + '.' + QByteArray::number(n % 256) + "\r\n";
    // The largest list the caps admit: as many lines as allowed, as long as the
    // bytes allow.
    if (name == QStringLiteral("largest_servers")) {
        const qsizetype length = qsizetype(ServerList::kMaxBytes / ServerList::kMaxLines) - 2;
        servers = (QByteArray(length, 's') + "\r\n").repeated(ServerList::kMaxLines);
    }
    writeOrDie(app.file(QStringLiteral("serverlist.txt")), servers);
    for (qsizetype i = 0; name == QStringLiteral("second") && i < kLines; ++i)
        writeOrDie(Purge::resultPath(app, i), kPurgeAnswer);
    if (name == QStringLiteral("status")) {
        // As `squidclient mgr:info` prints it: a head with CR LF, then about 1.5
        // million lines with bare LF whose figures change from round to round.
        QByteArray text = "HTTP/1.1 200 OK\r\nServer: squid/5.7\r\nContent-Type: text/plain\r\n\r\n";
        for (int round = 1000; text.size() < kStatusBytes; ++round) {
            const QByteArray n = QByteArray::number(round);
            text += "Squid Object Cache: Version 5.7-3+deb12u1\n\tNumber of clients accessing cache:\t" + n
                    + "\n\tHits as % of all requests:\t5min: 41.2%, 60min: 39.8%\n\tStorage Mem size:\t" + n
                    + " KB\n\tUP Time:\t" + n + ".123456 seconds\nInternal Data Structures:\n\t" + n
                    + " StoreEntries\n";
        }
        writeOrDie(StatusQuery::resultPath(app), text.left(kStatusBytes));
    }
    if (name == QStringLiteral("endless"))
        writeOrDie(StatusQuery::resultPath(app),
                   kEndlessLine.repeated(kEndlessBytes / kEndlessLine.size() + 1).left(kEndlessBytes));
    return app;
}

// A window on the folder of that name, shown and painted, with the first server
// selected as the operator would before a click.
CacheWindow *window(const QString &name, qsizetype urlLines = 0)
{
    std::unique_ptr<CacheWindow> &window = g_windows[name];
    if (!window) {
        window = std::make_unique<CacheWindow>(folder(name));
        window->setStatusPause(0);
        window->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(kRequest);
        window->show();
        window->findChild<QListWidget *>(QStringLiteral("List1"))->setCurrentRow(0);
    }
    if (urlLines > 0 && window->property("urlLines").toLongLong() != urlLines) {
        BoxText::setText(window->findChild<QPlainTextEdit *>(QStringLiteral("Text1")), urlText(urlLines));
        window->setProperty("urlLines", urlLines);
    }
    drainEvents();
    return window.get();
}

// Each iteration's time is what `once` measured; it names a failure in *error.
void timeEach(State &state, const std::function<double(QString *)> &once)
{
    QString error;
    for (auto _ : state) {
        const double seconds = once(&error);
        // Out of the loop, not out of the function from inside it: the
        // library ends the run cleanly only so.
        if (!error.isEmpty()) {
            state.SkipWithError(qPrintable(error));
            break;
        }
        state.SetIterationTime(seconds);
    }
}

// Clicks Command1 up to the first paint of the "done" box, or Command2 up to the
// paint of Text3. Text3 is emptied first, outside the time, so every click starts
// like the first one after the window opens.
double click(CacheWindow *w, bool purge, QString *error)
{
    // The last click's script ends at once (see ScriptRunner's note above), but on
    // a busy machine not always before the next click, which would then ask
    // whether to stop it: waited for, outside the time.
    // A purge lists the server's objects first and starts its own script once
    // that report is read, on the window's events: they are run meanwhile.
    const QDeadlineTimer settle(10000);
    while (purge && w->purgeRunning() && !settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Nor may the report of the last click still be read on another thread.
    while (purge && w->purgeReportPending() && !settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    clearOutput(w);
    removeRunCopies(w->folder());
    w->setProperty("caretAtEnd", false);
    auto *button = w->findChild<QPushButton *>(purge ? QStringLiteral("Command1") : QStringLiteral("Command2"));
    double seconds = -1;
    if (purge) {
        PaintClock clock(nullptr, outputBox(w)->viewport());
        seconds = clock.time([button] { button->click(); });
        if (seconds < 0 || clock.m_box != QStringLiteral("purgeDoneBox") || !clock.m_outputPaints)
            *error = button->objectName() + QStringLiteral(" failed, or Text3 was not painted first: ") + clock.m_box;
    } else {
        // The click returns at once; the answer is read on another thread and
        // shown once it is all there (the pause is 0 here): timed up to the
        // paint after that.
        const Clock::time_point start = Clock::now();
        button->click();
        // Waits for the reader's events without spinning, which would take a
        // core from the reader.
        for (QDeadlineTimer deadline(120000); w->statusFollowed() && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QWidget *viewport = outputBox(w)->viewport();
        if (!w->statusFollowed() && PaintClock(viewport).time([viewport] { viewport->update(); }) >= 0
            && qobject_cast<OutputBox *>(outputBox(w))->document()->length() > 0)
            seconds = since(start);
        else
            *error = QStringLiteral("Command2 failed, or Text3 was not painted");
    }
    // A script that ran a line would have created or emptied a result file.
    const QFileInfo result(purge ? Purge::resultPath(w->folder(), 0) : StatusQuery::resultPath(w->folder()));
    const bool second = w->folder().path().endsWith(QStringLiteral("second"));
    const qint64 answer = w->folder().path().endsWith(QStringLiteral("endless")) ? kEndlessBytes : kStatusBytes;
    if ((result.exists() ? result.size() : -1) != (!purge ? answer : second ? kPurgeAnswer.size() : -1))
        *error = QStringLiteral("a result file changed behind the benchmark");
    return seconds;
}

void clickCase(State &state, const QString &name, qsizetype lines)
{
    const bool purge = name != QStringLiteral("status") && name != QStringLiteral("endless");
    CacheWindow *w = window(name, purge ? lines : 0);
    timeEach(state, [w, purge](QString *error) { return click(w, purge, error); });
    clearOutput(w);
    state.SetComplexityN(lines);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Times `work`. Before that, once per script and size, `work` must write the very
// script bytes `program` writes and give the very text it shows, else the
// baseline would mean nothing.
void timeBaseline(State &state, qsizetype size, const QString &script, const std::function<QString()> &program,
                  const std::function<std::string()> &work)
{
    static std::set<QString> checked;
    if (program && checked.insert(script + QString::number(size)).second) {
        const QString shown = program();
        removeRunCopies(AppFolder(QFileInfo(script).absolutePath()));
        const QByteArray written = readAll(script);
        const std::string read = work();
        if (written.isEmpty() || written != readAll(script) || shown.toUtf8() != QByteArray::fromStdString(read))
            return state.SkipWithError("the baseline does other work than the program");
    }
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(work());
        state.SetIterationTime(since(start));
    }
    state.SetComplexityN(size);
}

void baselineCase(State &state, const QString &name)
{
    const AppFolder app = folder(name);
    const std::string path = app.path().toStdString();
    if (name == QStringLiteral("status"))
        return timeBaseline(
                state, 0, StatusQuery::scriptPath(app), [&] { return StatusQuery(0).run(app, kServer, kRequest); },
                [&] { return Baseline::statusQuery(path, "/squid-internal-mgr/info"); });
    const QString urls = urlText(state.range(0));
    const std::string bytes = urls.toStdString();
    timeBaseline(
            state, state.range(0), Purge::scriptPath(app), [&] { return Purge::run(app, kServer, urls); },
            [&] { return Baseline::purge(path, bytes); });
}

void serverListCase(State &state)
{
    CacheWindow *w = window(QStringLiteral("servers"));
    auto *list = w->findChild<QListWidget *>(QStringLiteral("List1"));
    timeEach(state, [w, list](QString *error) {
        const double seconds = PaintClock(list->viewport()).time([w] { w->LoadServerList(); });
        if (seconds < 0 || list->count() != kServers + 1)
            *error = QStringLiteral("List1 does not show the servers of the file");
        return seconds;
    });
}

// A cache manager's "objects" report of 1,000,000 entries as a result file
// holds it (about 330 MB): 100,000 URLs of 5 variants each with their URLs,
// and 500,000 entries on disk only, keys alone. Read for the 10,000 URLs of
// a purge, as a purge will read it before it sends anything.
void varyListingCase(State &state)
{
    const QString path = g_root + QStringLiteral("/objects-1000000.txt");
    QSet<QString> urls;
    for (int i = 0; i < 100000; i += 10)
        urls.insert(QStringLiteral("http://www.example.com/static/page%1.html").arg(i));
    if (!QFile::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return state.SkipWithError("cannot write the report");
        file.write("HTTP/1.1 200 OK\r\nServer: squid/6.13\r\nContent-Type: text/plain;charset=utf-8\r\n\r\n");
        const QByteArray state_ = "\tSTORE_OK      IN_MEMORY     SWAPOUT_NONE PING_DONE   \n\tDISPATCHED,VALIDATED\n"
                                  "\tLV:1796788865 LU:1796788865 LM:1796785264 EX:1796792465\n\t0 locks, 0 clients, 2 refs\n"
                                  "\tSwap Dir -1, File 0XFFFFFFFF\n";
        const char *values[] = {"gzip,%20deflate", "gzip", "identity", "br", "gzip,%20deflate,%20br,%20zstd"};
        QByteArray chunk;
        for (int i = 0; i < 1000000; ++i) {
            chunk += "KEY " + QByteArray::number(0x10000000u + unsigned(i), 16).toUpper().rightJustified(32, '0')
                    + "\n" + state_;
            if (i < 500000) {
                chunk += "\tGET http://www.example.com/static/page" + QByteArray::number(i / 5) + ".html\n"
                        + "\tvary_headers: accept-encoding=\"" + values[i % 5]
                        + "\"\n\tinmem_lo: 0\n\tinmem_hi: 316\n\tswapout: 0 bytes queued\n\tobject_sz: 316\n";
            }
            chunk += "\n";
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk);
    }
    timeEach(state, [&](QString *error) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read the report");
            return 0.0;
        }
        QElapsedTimer timer;
        timer.start();
        const VaryListing listing = VaryListing::read(file, urls);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (listing.entries() != 1000000 || !listing.whole()
            || listing.encodings(QStringLiteral("http://www.example.com/static/page10.html")).size() != 5)
            *error = QStringLiteral("the report was not read whole");
        return seconds;
    });
}

// Text3 holds what a fresh 100,000-line purge shows, one line of 700,000
// characters, with the focus and the caret at its end. Times a letter typed, or
// the horizontal scroll bar set from its start to its end, up to Text3's paint.
void longLineCase(State &state, bool scroll)
{
    CacheWindow *w = window(QStringLiteral("fresh"), kLines);
    QAbstractScrollArea *box = outputBox(w);
    QScrollBar *bar = box->horizontalScrollBar();
    QString error;
    if (!w->property("caretAtEnd").toBool()) {
        click(w, true, &error);
        w->activateWindow();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
        drainEvents();
        w->setProperty("caretAtEnd", true);
    }
    if (error.isEmpty() && (outputText(w).size() < 7 * kLines || bar->value() == 0))
        error = QStringLiteral("Text3 does not show the end of one long line");
    if (!error.isEmpty())
        return state.SkipWithError(qPrintable(error));
    timeEach(state, [&](QString *error) {
        bar->setValue(scroll ? 0 : bar->value());
        drainEvents();
        const double seconds = PaintClock(box->viewport()).time([&] {
            if (scroll)
                bar->setValue(bar->maximum());
            else
                QTest::keyClick(box, Qt::Key_X);
        });
        if (seconds < 0)
            *error = QStringLiteral("Text3 was not painted");
        return seconds;
    });
}

constexpr int kHugeLength = 20000000;

// One line of 20,000,000 characters: the missing-file text over and over.
QString hugeLine()
{
    const QString missing = QStringLiteral("文件不存在！！");
    return missing.repeated(kHugeLength / missing.size() + 1).left(kHugeLength);
}

// A key pressed in Text3, up to the end of its viewport's next paint.
double timeKey(OutputBox *box, Qt::Key key, QString *error)
{
    const double seconds = PaintClock(box->viewport()).time([box, key] { QTest::keyClick(box, key); });
    if (seconds < 0)
        *error = QStringLiteral("Text3 was not painted");
    return seconds;
}

// Text3 holding one huge line, with the focus and the caret in its middle,
// where an edit moves the most text; `edited`: keys typed at nine places have
// spread it over many pieces first. Times one key.
void hugeLineCase(State &state, bool edited, Qt::Key key)
{
    CacheWindow *w = window(edited ? QStringLiteral("huge-edited") : QStringLiteral("huge"));
    auto *box = qobject_cast<OutputBox *>(outputBox(w));
    if (box->document()->length() < kHugeLength) {
        box->document()->setText(hugeLine());
        w->activateWindow();
        box->setFocus();
        for (int i = 1; edited && i <= 9; ++i) {
            box->document()->setCursorPosition(i * kHugeLength / 10 + i);
            QTest::keyClick(box, Qt::Key_X);
        }
        box->document()->setCursorPosition(kHugeLength / 2 + (edited ? 3 : 0));
        drainEvents();
    }
    if (box->document()->lineCount() != 1 || box->document()->cursorPosition() < kHugeLength / 4)
        return state.SkipWithError("Text3 does not hold one line with the caret in its middle");
    timeEach(state, [box, key](QString *error) { return timeKey(box, key, error); });
}

// Text3 given a fresh huge line before every key, untimed and painted, with the
// focus and the caret three characters into it: the first key the line gets.
// A letter of another script there moves where Qt cuts all the rest of the line
// into items, the most an edit can move.
void freshHugeLineCase(State &state)
{
    CacheWindow *w = window(QStringLiteral("huge-fresh"));
    auto *box = qobject_cast<OutputBox *>(outputBox(w));
    const QString line = hugeLine();
    w->activateWindow();
    box->setFocus();
    timeEach(state, [box, &line](QString *error) {
        box->document()->setText(QString(line));
        box->document()->setCursorPosition(3);
        drainEvents();
        if (box->document()->lineCount() != 1 || box->document()->length() != kHugeLength) {
            *error = QStringLiteral("Text3 does not hold one fresh line");
            return 0.0;
        }
        return timeKey(box, Qt::Key_X, error);
    });
}

// Sorting the answers of a 100,000-line purge (the second run's folder, a squid
// answer in every result file), beside the baseline that only opens, reads the
// first bytes of and closes the same files.
void reportCase(State &state, bool baseline)
{
    const AppFolder app = folder(QStringLiteral("second"));
    QList<qsizetype> lines(kLines);
    std::iota(lines.begin(), lines.end(), 0);
    const std::string path = app.path().toStdString();
    if (PurgeReport::collect(app, lines).count(PurgeAnswer::Group::Purged) != kLines
        || Baseline::readHeads(path, long(kLines)) != kLines)
        return state.SkipWithError("not every result file was read as a purged answer");
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        if (baseline)
            benchmark::DoNotOptimize(Baseline::readHeads(path, long(kLines)));
        else
            benchmark::DoNotOptimize(PurgeReport::collect(app, lines).total());
        state.SetIterationTime(since(start));
    }
}

// Text3 after a second-run purge of 100,000 lines, focus and caret at its end;
// one letter typed while the window makes that purge's report (reading and
// sorting its result files on another thread), to the end of Text3's paint.
void keyWhileReportCase(State &state)
{
    CacheWindow *w = window(QStringLiteral("second"), kLines);
    QAbstractScrollArea *box = outputBox(w);
    timeEach(state, [&](QString *error) {
        if (!w->purgeReportBeingMade()) {
            click(w, true, error);
            w->activateWindow();
            box->setFocus();
            QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
            for (QDeadlineTimer deadline(10000); !w->purgeReportBeingMade() && !deadline.hasExpired();)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            drainEvents();
            if (!w->purgeReportBeingMade())
                *error = QStringLiteral("the purge's report was not being made");
        }
        const double seconds = PaintClock(box->viewport()).time([box] { QTest::keyClick(box, Qt::Key_X); });
        if (seconds < 0)
            *error = QStringLiteral("Text3 was not painted");
        return seconds;
    });
}

// A key typed in Text2, timed to its paint: in an idle window, or while Text3
// follows an answer that grows by 1 MiB every 100 ms for 10 s. That one script
// runs for real, with the PATH it needs.
void keyWhileGrowingCase(State &state, bool growing)
{
    CacheWindow *w = window(growing ? QStringLiteral("growing") : QStringLiteral("idle"));
    auto *text2 = w->findChild<QLineEdit *>(QStringLiteral("Text2"));
    if (growing) {
        writeOrDie(w->folder().file(QStringLiteral("squidclient")),
                   "#!/bin/sh\ni=0\nwhile [ $i -lt 100 ]; do\n"
                   "  /usr/bin/yes 'a growing answer, line after line' | /usr/bin/head -c 1048576\n"
                   "  /bin/sleep 0.1; i=$((i+1))\ndone\n");
        QFile::setPermissions(w->folder().file(QStringLiteral("squidclient")), QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray disarmed = qgetenv("PATH");
        qputenv("PATH", g_path);
        w->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        qputenv("PATH", disarmed);
        // The first part is shown before the first key.
        for (QDeadlineTimer deadline(10000); outputText(w).isEmpty() && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    w->activateWindow();
    text2->setFocus();
    const OutputDocument *answer = qobject_cast<OutputBox *>(outputBox(w))->document();
    timeEach(state, [&](QString *error) {
        text2->setText(kRequest);
        drainEvents();
        // Each key comes as the answer has grown again, so they are spread over
        // its growth and not all typed between two of its parts.
        const int length = answer->length();
        for (QDeadlineTimer deadline(5000); growing && answer->length() == length && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double seconds = PaintClock(text2).time([text2] { QTest::keyClick(text2, Qt::Key_X); });
        if (seconds < 0 || text2->text() != kRequest + QLatin1Char('x') || (growing && !w->statusFollowed()))
            *error = QStringLiteral("the key was not taken, or the answer no longer grew");
        return seconds;
    });
    // Its window goes, and with it the following: the cases after this one run
    // beside a script that only writes its file.
    if (growing)
        g_windows.erase(QStringLiteral("growing"));
}

// The program starts with no other window open; a window left with a long line
// in a focused Text3 would repaint it when the new window takes the focus.
void startCase(State &state, const std::function<QWidget *()> &make)
{
    g_windows.clear();
    drainEvents();
    timeEach(state, [&](QString *error) {
        const Clock::time_point start = Clock::now();
        std::unique_ptr<QWidget> w(make());
        const double built = since(start), shown = PaintClock(w.get()).time([&] { w->show(); });
        w.reset();
        drainEvents();
        if (shown < 0)
            *error = QStringLiteral("the window was not painted");
        return built + shown;
    });
}

// A field of /proc/self/status (VmRSS, VmHWM) in bytes.
double procStatus(const std::string &field)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, field.size() + 1, field + ':') == 0)
            return std::stod(line.substr(field.size() + 1)) * 1024;
    }
    return -1;
}

// The highest resident size of the whole process while a case runs once more:
// freed memory goes back first, then the kernel's high-water mark is set back to
// what is resident (Linux 4.0 and later).
class PeakMemory : public benchmark::MemoryManager
{
public:
    void Start() override
    {
        g_memoryPass = true;
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
    }
    // Benchmark 1.8 and later call this one ...
    void Stop(Result &result) override
    {
        g_memoryPass = false;
        result.max_bytes_used = int64_t(procStatus("VmHWM"));
    }
    // ... and 1.7 (Debian 12) this one, which later versions no longer have.
    void Stop(Result *result) { Stop(*result); }
};

// Google Benchmark runs each case once more under the memory manager after every
// repetition (only the last one's figure survives in 1.7.1); the timed cases pass
// then. A peak case closes every other window, runs once, timed, and once more
// for the memory manager, with the resident size in between as rss_before.
// `iterations` fixes how many a repetition runs, for a case whose untimed set-up
// before each one costs seconds; such a case has no warm-up run.
benchmark::internal::Benchmark *add(const std::string &name, const std::function<void(State &)> &run, bool peak = false,
                                    int iterations = 0)
{
    auto *b = benchmark::RegisterBenchmark(name.c_str(), [run, peak](State &state) {
        if (g_memoryPass && !peak) {
            for (auto _ : state) { }
            return;
        }
        if (peak && !g_memoryPass) {
            g_windows.clear();
            // The threads that made earlier purges' reports go too, with what
            // they hold, as in a program that has just made none.
            PurgeWorkers::pool()->waitForDone();
        }
        run(state);
        if (peak) {
            malloc_trim(0);
            state.counters["rss_before"] = procStatus("VmRSS");
        }
    });
    b->UseManualTime()->Unit(benchmark::kMillisecond);
    // MinWarmUpTime: one untimed run first.
    if (peak)
        return b->Iterations(1);
    if (iterations > 0)
        b->Iterations(iterations);
    else
        b->MinWarmUpTime(1e-3);
    return b->Repetitions(5)->ReportAggregatesOnly(true);
}

void registerAll()
{
    // Fresh folder and second run are families of their own, so that Complexity
    // fits the growth of one kind of run.
    for (const QString &name : {QStringLiteral("fresh"), QStringLiteral("second")}) {
        for (const bool baseline : {false, true}) {
            add((baseline ? "baseline/purge/" : "purge/") + name.toStdString(),
                [name, baseline](State &s) { baseline ? baselineCase(s, name) : clickCase(s, name, s.range(0)); })
                    ->RangeMultiplier(10)
                    ->Range(1000, kLines)
                    ->Complexity(benchmark::oN);
        }
    }
    add("load_server_list/10000", serverListCase);
    add("baseline/load_server_list/10000", [](State &s) {
        const std::string path = folder(QStringLiteral("servers")).file(QStringLiteral("serverlist.txt")).toStdString();
        timeBaseline(s, 0, QString(), nullptr, [&] { return Baseline::readFile(path); });
    });
    add("status_query/50MiB", [](State &s) { clickCase(s, QStringLiteral("status"), 0); });
    add("baseline/status_query/50MiB", [](State &s) { baselineCase(s, QStringLiteral("status")); });
    // The window's work after the pause on an answer that never ended, beside one
    // read() of the 256 MiB it shows, decoded.
    add("status_query/endless", [](State &s) { clickCase(s, QStringLiteral("endless"), 0); });
    add("baseline/status_query/endless", [](State &s) {
        const std::string path = StatusQuery::resultPath(folder(QStringLiteral("endless"))).toStdString();
        for (auto _ : s) {
            const Clock::time_point start = Clock::now();
            benchmark::DoNotOptimize(Baseline::readAndDecode(path, ResultReader::kMaxShownBytes));
            s.SetIterationTime(since(start));
        }
    });
    add("text3_key_after_fresh_purge", [](State &s) { longLineCase(s, false); });
    add("text3_scroll_to_end", [](State &s) { longLineCase(s, true); });
    add("text3_key_in_20M_line", [](State &s) { hugeLineCase(s, false, Qt::Key_X); });
    add("purge_report/100000", [](State &s) { reportCase(s, false); });
    add("vary_listing/1000000", varyListingCase);
    add("baseline/purge_report/100000", [](State &s) { reportCase(s, true); });
    add("text3_key_while_reporting", keyWhileReportCase);
    // Each iteration sets the line again, untimed: a few are enough.
    add("text3_first_key_in_fresh_20M_line", freshHugeLineCase, false, 2);
    add("text3_backspace_in_edited_20M_line", [](State &s) { hugeLineCase(s, true, Qt::Key_Backspace); });
    add("text3_left_in_edited_20M_line", [](State &s) { hugeLineCase(s, true, Qt::Key_Left); });
    add("window_start",
        [](State &s) { startCase(s, [] { return new CacheWindow(folder(QStringLiteral("start"))); }); });
    add("baseline/window_start", [](State &s) { startCase(s, bareWindow); });
    const auto peak = [](const std::string &name, const QString &folder) {
        add(
                "peak/" + name, [folder](State &s) { clickCase(s, folder, kLines); }, true);
    };
    peak("purge/fresh/100000", QStringLiteral("fresh"));
    peak("purge/second/100000", QStringLiteral("second"));
    peak("status_query/50MiB", QStringLiteral("status"));
    add(
            "peak/window_start/largest_server_list",
            [](State &s) { startCase(s, [] { return new CacheWindow(folder(QStringLiteral("largest_servers"))); }); },
            true);
    // After the peaks: following a growing answer leaves tens of MiB of freed
    // memory in the reader threads' malloc arenas (glibc gives a thread arena's
    // top back only when that arena shrinks), which the peaks would count.
    add(
            "status_query/key_while_growing", [](State &s) { keyWhileGrowingCase(s, true); }, false, 40);
    add(
            "baseline/status_query/key_while_growing", [](State &s) { keyWhileGrowingCase(s, false); }, false, 40);
}

} // namespace

int main(int argc, char *argv[])
{
    // The windows are real but need no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QApplication app(argc, argv);
    // The offscreen platform warns each time a dialog opens, once per purge.
    static QtMessageHandler qtHandler = nullptr;
    qtHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        // Nor is there a notification service: every purge's report says so.
        if (!text.contains(QLatin1String("does not support propagateSizeHints"))
            && !text.startsWith(QLatin1String("Quellory:")))
            qtHandler(type, context, text);
    });
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/quellory-bench-XXXXXX"));
    g_root = root.path();
    if (!root.isValid())
        qFatal("cannot create a temporary folder: %s", qPrintable(root.errorString()));
    disarmScripts();

    registerAll();
    PeakMemory memory;
    benchmark::RegisterMemoryManager(&memory);
    benchmark::RunSpecifiedBenchmarks();
    g_windows.clear();
    benchmark::Shutdown();
    return 0;
}
