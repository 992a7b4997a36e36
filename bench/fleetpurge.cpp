// quellory_fleetbench: one purge of COUNT URLs on SERVERS squids at once, as a
// click on several selected servers starts it (RunningScripts: a listing and
// then the purge's lanes, each server's own), beside SERVERS `curl --parallel
// --parallel-max 8` runs of the same requests at once, one a server. Run under
// tools/local-cache-server (`make bench-fleet`): the run's squid on 127.0.0.1
// and SERVERS - 1 more started beside it on 127.0.0.2 and on, each with an
// origin port of its own; loopback only. The URLs are not cached, so each
// server's listing shows none of them and each URL is one PURGE (404) there.
// It prints the times, how long the report took once the last script had
// ended, and the peak memory. First the same purge is clicked in a window
// with every server selected (offscreen), twice (the second click has every
// server's earlier answers to show), a key posted to Text3 every 100 ms
// while it runs and timed from its posting to the end of Text3's next paint:
// how long the operator's key waits, and the window's peak memory.
//
//   quellory_fleetbench [SERVERS [COUNT]]   (default 20 10000)
#include "commands/actions/runningscripts.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"
#include "outputbox/document/outputdocument.h"
#include "outputbox/widget/outputbox.h"

#include "paintclock.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const QString kServerScript = QStringLiteral(QUELLORY_SOURCE_DIR "/tools/local-cache-server");

QString address(int server)
{
    return QStringLiteral("127.0.0.%1").arg(server + 1);
}

void startSquid(const QString &dir, int server)
{
    QProcess start;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUELLORY_ADDRESS"), address(server));
    env.insert(QStringLiteral("QUELLORY_ORIGIN_PORT"), QString::number(8081 + server));
    start.setProcessEnvironment(env);
    start.setProcessChannelMode(QProcess::ForwardedChannels);
    start.start(kServerScript, {QStringLiteral("start"), dir});
    if (!start.waitForFinished(-1) || start.exitCode() != 0)
        qFatal("squid on %s did not start", qPrintable(address(server)));
}

void stopSquid(const QString &dir)
{
    QProcess::execute(kServerScript, {QStringLiteral("stop"), dir});
}

// The squids and their origins stand in for servers on other machines, and
// an operator's machine does not share its cores with them: at nice 19 (their
// sessions' autogroups too, where a nice value weighs only within the
// session) they take only what the program, its clients and the reference
// curls leave. QUELLORY_BENCH_SERVERS_NICE=0 leaves them as they are.
int lowerServers()
{
    const int nice = qEnvironmentVariableIsSet("QUELLORY_BENCH_SERVERS_NICE")
            ? qEnvironmentVariableIntValue("QUELLORY_BENCH_SERVERS_NICE")
            : 19;
    if (nice == 0)
        return 0;
    const auto read = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray ours = read(QStringLiteral("/proc/self/autogroup")).split(' ').value(0);
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    QSet<QByteArray> lowered;
    for (const QString &pid : pids) {
        bool number = false;
        const int id = pid.toInt(&number);
        if (!number || id == getpid())
            continue;
        const QByteArray command = read(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (read(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed() != "squid" && !command.contains("origin-server.py"))
            continue;
        setpriority(PRIO_PROCESS, id_t(id), nice);
        // The run's own squid may share this process's session: its
        // autogroup is this process's too.
        // Without CAP_SYS_ADMIN the kernel lowers one autogroup in a tenth of
        // a second, for the whole system, and refuses the others meanwhile.
        const QString autogroup = QStringLiteral("/proc/%1/autogroup").arg(pid);
        const QByteArray name = read(autogroup).split(' ').value(0);
        if (name != ours && !lowered.contains(name)) {
            lowered.insert(name);
            QFile file(autogroup);
            for (int attempt = 0; attempt < 20 && file.open(QIODevice::WriteOnly); ++attempt) {
                if (file.write(QByteArray::number(nice)) >= 0 && file.flush())
                    break;
                file.close();
                QThread::msleep(110);
            }
        }
    }
    return nice;
}

// The process's peak resident memory since the last reset, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Waits this long with the events running, without spinning.
void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Tells that `target` has been painted since it was armed.
class PaintSeen : public QObject
{
public:
    explicit PaintSeen(QWidget *target)
        : m_target(target)
    {
        m_target->installEventFilter(this);
    }
    bool m_armed = false, m_seen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The paint runs once this returns, before the event loop's pass
        // that delivered it ends: the caller reads the time after that.
        if (m_armed && watched == m_target && event->type() == QEvent::Paint) {
            m_seen = true;
            m_armed = false;
        }
        return false;
    }

private:
    QWidget *m_target;
};

// Waits for the next paint of `target`, with the events running.
void waitForPaint(PaintSeen &painted, QWidget *target)
{
    QMetaObject::invokeMethod(target, [&painted, target] {
        painted.m_armed = true;
        target->update();
    }, Qt::QueuedConnection);
    painted.m_seen = false;
    while (!painted.m_seen)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

struct WindowRun
{
    double seconds = 0;      // click to report
    double busy = 0;         // the window's thread's CPU time in it
    double peak = 0;         // MiB
    std::vector<double> waits, idleLate;
};

// The purge clicked in a window on every server, twice: in fresh folders, and
// again with every server's earlier answers to show at the click. The keys'
// waits in ms, each run's.
std::vector<WindowRun> windowPurge(const QString &folder, const QStringList &addresses, const QStringList &urls)
{
    QDir().mkpath(folder);
    QFile list(folder + QStringLiteral("/serverlist.txt"));
    QFile encodings(folder + QStringLiteral("/encodings.txt"));
    if (!list.open(QIODevice::WriteOnly) || !encodings.open(QIODevice::WriteOnly))
        qFatal("cannot write the window's folder");
    list.write((addresses.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    list.close();
    encodings.close();
    CacheWindow window{AppFolder(folder)};
    window.show();
    window.findChild<QListWidget *>(QStringLiteral("List1"))->selectAll();
    BoxText::setText(window.findChild<QPlainTextEdit *>(QStringLiteral("Text1")), urls.join(QStringLiteral("\r\n")));
    auto *box = window.findChild<OutputBox *>(QStringLiteral("Text3"));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("Command1"));
    PaintSeen painted(box->viewport());
    const int slowKeyMs = qEnvironmentVariableIntValue("QUELLORY_BENCH_SLOW_KEYS");
    std::vector<WindowRun> runs(2);
    for (size_t run = 0; run < runs.size(); ++run) {
        WindowRun &r = runs[run];
        resetPeak();
        rusage before{};
        getrusage(RUSAGE_THREAD, &before);
        QElapsedTimer clock;
        clock.start();
        // Up to the "done" box, which the clock closes; then up to the
        // earlier answers in Text3, painted.
        const double click = PaintClock(nullptr).time([button] { button->click(); });
        if (click < 0)
            qFatal("the window's purge did not start");
        // Several servers' earlier answers are read off the window's thread:
        // the keys go on meanwhile, and the first paint that shows them is timed.
        double filled = -1;
        box->setFocus();
        // Beside it a thread that does nothing but wake every 100 ms: how late
        // it wakes is what the machine's load alone costs a key (the bench's
        // squids share these cores; an operator's are elsewhere).
        std::atomic_bool running{true};
        std::thread idle([&running, late = &r.idleLate] {
            while (running.load()) {
                const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
                std::this_thread::sleep_until(due);
                late->push_back(
                        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - due).count());
            }
        });
        while (window.purgeReportPending()) {
            // Posted as the operator's key is, behind whatever the window's
            // thread has to do; then a paint asked for, so one follows it.
            const auto posted = std::chrono::steady_clock::now();
            QCoreApplication::postEvent(box,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
            QCoreApplication::postEvent(
                    box, new QKeyEvent(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
            waitForPaint(painted, box->viewport());
            if (filled < 0 && box->document()->lineCount() > 1) // the keys add no line
                filled = clock.nsecsElapsed() / 1e6;
            r.waits.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - posted).count());
            if (slowKeyMs > 0 && r.waits.back() > slowKeyMs)
                std::fprintf(stderr, "key at %.2f s waited %.0f ms\n",
                             clock.nsecsElapsed() / 1e9 - r.waits.back() / 1e3, r.waits.back());
            wait(100);
        }
        r.seconds = clock.nsecsElapsed() / 1e9;
        std::printf("in the window, %s: the click's box painted after %.0f ms, Text3 with the earlier answers "
                    "(%lld lines) by %.0f ms\n",
                    run == 0 ? "fresh folders" : "again, every server's earlier answers to show", click * 1000,
                    static_cast<long long>(box->document()->lineCount()), filled);
        running.store(false);
        idle.join();
        rusage after{};
        getrusage(RUSAGE_THREAD, &after);
        r.busy = after.ru_utime.tv_sec + after.ru_stime.tv_sec - before.ru_utime.tv_sec - before.ru_stime.tv_sec
                + (after.ru_utime.tv_usec + after.ru_stime.tv_usec - before.ru_utime.tv_usec - before.ru_stime.tv_usec)
                        / 1e6;
        r.peak = peakMiB();
    }
    return runs;
}
} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("QUELLORY_CACHE_SERVER_DIR"))
        qFatal("run this under tools/local-cache-server");
    const int servers = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 10000;
    if (servers < 1 || servers > 200 || count < 1)
        qFatal("quellory_fleetbench [SERVERS (1 to 200) [COUNT]]");
    QTemporaryDir root;
    QStringList squids;
    for (int s = 1; s < servers; ++s) {
        squids << root.filePath(QStringLiteral("squid-%1").arg(s));
        startSquid(squids.last(), s);
    }
    std::printf("the squids and their origins at nice %d\n", lowerServers());
    QStringList urls, addresses;
    for (int i = 0; i < count; ++i)
        urls << QStringLiteral("http://127.0.0.1:8081/fleet/%1").arg(i);
    for (int s = 0; s < servers; ++s)
        addresses << address(s);

    const std::vector<WindowRun> runs = windowPurge(root.filePath(QStringLiteral("window")), addresses, urls);
    for (size_t run = 0; run < runs.size(); ++run) {
        std::vector<double> waits = runs[run].waits, late = runs[run].idleLate;
        for (std::vector<double> *times : {&waits, &late}) {
            std::sort(times->begin(), times->end());
            if (times->empty())
                times->push_back(-1);
        }
        std::printf("in the window%s: %.2f s to the report; peak memory %.0f MiB; the window's thread busy %.2f s "
                    "of it; %zu keys in Text3 while it ran, each painted after %.1f ms (median), %.1f ms (90th "
                    "percentile), %.1f ms at most\n",
                    run == 0 ? "" : ", again", runs[run].seconds, runs[run].peak, runs[run].busy, waits.size(),
                    waits.at(waits.size() / 2), waits.at(waits.size() * 9 / 10), waits.back());
        std::printf("beside it, a thread that only sleeps 100 ms woke %.1f ms late (median), %.1f ms (90th "
                    "percentile), %.1f ms at most\n",
                    late.at(late.size() / 2), late.at(late.size() * 9 / 10), late.back());
    }
    std::fflush(stdout);

    // The program, with curl (no squidclient beside it) and no guessed values.
    const QString folder = root.filePath(QStringLiteral("app"));
    QDir().mkpath(folder);
    QFile encodings(folder + QStringLiteral("/encodings.txt"));
    if (!encodings.open(QIODevice::WriteOnly))
        qFatal("cannot write encodings.txt");
    encodings.close();
    RunningScripts scripts{AppFolder(folder)};
    QString body;
    QObject::connect(&scripts, &RunningScripts::purgeNotice, [&body](quint64, const QString &text) { body = text; });
    QElapsedTimer clock;
    clock.start();
    scripts.purge(addresses, urls.join(QStringLiteral("\r\n")));
    qint64 endedAt = -1;
    resetPeak();
    while (scripts.purgeReportPending()) {
        // Woken by the watches' timers: a loop that spun would take a core
        // from the scripts.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (endedAt < 0 && scripts.purgeReportBeingMade())
            endedAt = clock.nsecsElapsed();
    }
    const double program = clock.nsecsElapsed() / 1e9;
    const double report = endedAt < 0 ? 0 : program - endedAt / 1e9;
    std::printf("%d servers x %d URLs through the program: %.2f s to the report (the report %.3f s after the "
                "last script ended); peak memory %.0f MiB\n%s\n",
                servers, count, program, report, peakMiB(), qPrintable(body));
    std::fflush(stdout);

    // The same requests: the listing and a PURGE a URL, a curl --parallel a
    // server; their answers thrown away, then each in a file of its own in a
    // folder a server, as the program keeps them (new files, as the program's
    // were in this run).
    const auto reference = [&](bool files) {
        std::vector<std::unique_ptr<QProcess>> curls;
        for (int s = 0; s < servers; ++s) {
            const QString config = root.filePath(QStringLiteral("curl-%1.cfg").arg(s));
            const QString answers = root.filePath(QStringLiteral("answers-%1").arg(s));
            QDir().mkpath(answers);
            QFile file(config);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                qFatal("cannot write a curl config");
            QByteArray text = "url = \"http://" + address(s).toLatin1() + ":80/squid-internal-mgr/objects\"\n"
                              "output = \"/dev/null\"\n";
            for (int i = 0; i < count; ++i) {
                const QByteArray output
                        = files ? (answers + QStringLiteral("/nslookup%1.txt").arg(i)).toLocal8Bit() : "/dev/null";
                text += "next\nurl = \"" + urls.at(i).toLatin1() + "\"\nrequest = \"PURGE\"\nproxy = \"http://"
                        + address(s).toLatin1() + ":80\"\ninclude\noutput = \"" + output + "\"\n";
            }
            file.write(text);
            file.close();
            curls.push_back(std::make_unique<QProcess>());
            curls.back()->setStandardOutputFile(QProcess::nullDevice());
            curls.back()->setStandardErrorFile(QProcess::nullDevice());
            curls.back()->setProgram(QStringLiteral("curl"));
            curls.back()->setArguments({QStringLiteral("-q"), QStringLiteral("-sS"), QStringLiteral("--parallel"),
                                        QStringLiteral("--parallel-max"), QStringLiteral("8"), QStringLiteral("-K"),
                                        config});
        }
        clock.restart();
        for (auto &curl : curls)
            curl->start();
        for (auto &curl : curls)
            curl->waitForFinished(-1);
        return clock.nsecsElapsed() / 1e9;
    };
    const double thrownAway = reference(false);
    std::printf("the same requests in %d curl --parallel --parallel-max 8 at once: %.2f s; the program took %.2f "
                "times as long\n",
                servers, thrownAway, program / thrownAway);
    std::fflush(stdout);
    const double kept = reference(true);
    std::printf("the same, each answer in a new file of its own: %.2f s; the program took %.2f times as long\n", kept,
                program / kept);
    for (const QString &dir : std::as_const(squids))
        stopSquid(dir);
    return 0;
}
