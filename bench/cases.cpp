#include "cases.h"

#include "baseline.h"
#include "benchfolder.h"
#include "windowdriver.h"

#include "commands/purge.h"
#include "commands/statusquery.h"
#include "window/boxtext.h"
#include "window/cachewindow.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace Cases {

namespace {

using Clock = std::chrono::steady_clock;

const QString kStatusRequest = QStringLiteral("mgr:info");

// Everything the cases share; folders and windows are made on first use so a
// --benchmark_filter run only pays for what it runs.
struct Context
{
    QString root;
    std::unique_ptr<Bench::Folder> fresh, second, servers, status, start;
    std::unique_ptr<CacheWindow> freshWindow, secondWindow, serversWindow, statusWindow;
    std::map<CacheWindow *, qsizetype> urlLines;
    std::map<qsizetype, QString> urls;
    std::map<qsizetype, std::string> urlsUtf8;
    std::set<std::string> warmed;
    std::string error; // kept alive for SkipWithError

    const QString &urlText(qsizetype lines)
    {
        auto it = urls.find(lines);
        if (it == urls.end())
            it = urls.emplace(lines, Bench::urlText(lines)).first;
        return it->second;
    }
    const std::string &urlTextUtf8(qsizetype lines)
    {
        auto it = urlsUtf8.find(lines);
        if (it == urlsUtf8.end())
            it = urlsUtf8.emplace(lines, urlText(lines).toStdString()).first;
        return it->second;
    }

    Bench::Folder &purgeFolder(bool secondRun)
    {
        std::unique_ptr<Bench::Folder> &folder = secondRun ? second : fresh;
        if (!folder) {
            folder = std::make_unique<Bench::Folder>(
                    root, secondRun ? QStringLiteral("purge-second") : QStringLiteral("purge-fresh"));
            if (secondRun)
                folder->writeResultFiles(kPurgeLines[std::size(kPurgeLines) - 1]);
        }
        return *folder;
    }

    CacheWindow *purgeWindow(bool secondRun)
    {
        std::unique_ptr<CacheWindow> &window = secondRun ? secondWindow : freshWindow;
        if (!window)
            window = openWindow(purgeFolder(secondRun));
        return window.get();
    }

    // A window on `folder`, shown and painted, with the first server selected as
    // the operator would before a click.
    static std::unique_ptr<CacheWindow> openWindow(const Bench::Folder &folder)
    {
        auto window = std::make_unique<CacheWindow>(folder.appFolder());
        window->show();
        window->findChild<QListWidget *>(QStringLiteral("List1"))->setCurrentRow(0);
        Driver::drainEvents();
        return window;
    }

    void setUrls(CacheWindow *window, qsizetype lines)
    {
        if (urlLines[window] == lines)
            return;
        BoxText::setText(window->findChild<QPlainTextEdit *>(QStringLiteral("Text1")), urlText(lines));
        urlLines[window] = lines;
        Driver::drainEvents();
    }

    // True the first time a case asks: it then runs one untimed iteration first.
    bool firstRun(const std::string &name) { return warmed.insert(name).second; }
};

Context &context()
{
    static Context c;
    return c;
}

void skip(benchmark::State &state, const QString &why)
{
    context().error = why.toStdString();
    state.SkipWithError(context().error.c_str());
}

// Runs `once` untimed on a case's first run, then once per iteration with its
// own time; the first error skips the case with that reason.
template<typename Once>
void timeClicks(benchmark::State &state, bool firstRun, Once &&once)
{
    QString error;
    if (firstRun)
        once(&error);
    if (!error.isEmpty()) {
        skip(state, error);
        return;
    }
    for (auto _ : state) {
        const double seconds = once(&error);
        if (!error.isEmpty()) {
            skip(state, error);
            break;
        }
        state.SetIterationTime(seconds);
    }
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

// The result files after a purge are as the case left them: none in a fresh
// folder, the 300-byte answers in a second-run folder.
QString resultFilesChanged(const Bench::Folder &folder, bool secondRun, qsizetype lines)
{
    const AppFolder app = folder.appFolder();
    for (qsizetype i : {qsizetype(0), lines / 2, lines - 1}) {
        const qint64 size = fileSize(Purge::resultPath(app, i));
        const qint64 expected = secondRun ? Bench::purgeAnswer().size() : -1;
        if (size != expected)
            return QStringLiteral("result file %1 changed behind the benchmark (size %2, expected %3)")
                    .arg(i)
                    .arg(size)
                    .arg(expected);
    }
    return {};
}

void purgeCase(benchmark::State &state, const std::string &name, bool secondRun, qsizetype lines)
{
    Context &c = context();
    Bench::Folder &folder = c.purgeFolder(secondRun);
    CacheWindow *window = c.purgeWindow(secondRun);
    c.setUrls(window, lines);

    // Every click starts from an empty Text3, as the first click after the
    // window opens does; emptying it is outside the time.
    auto once = [&](QString *error) {
        Driver::resetOutput(window);
        const Driver::Click click = Driver::clickPurge(window);
        Driver::drainEvents();
        if (!folder.settleStartedScripts())
            *error = QStringLiteral("a started script was still running and had to be killed");
        else if (click.seconds < 0)
            *error = QStringLiteral("no message box appeared");
        else if (click.boxName != QStringLiteral("purgeDoneBox"))
            *error = QStringLiteral("the purge failed: ") + click.boxText;
        else if (click.text3Paints == 0)
            *error = QStringLiteral("Text3 was not painted before the message box");
        else
            *error = resultFilesChanged(folder, secondRun, lines);
        return click.seconds;
    };

    timeClicks(state, c.firstRun(name), once);
    Driver::resetOutput(window);
    state.counters["lines"] = double(lines);
}

// Once per folder and size: the baseline writes the very script Purge::run
// writes and reads the very text it shows, else its figures would mean nothing.
QString baselineDiffers(Bench::Folder &folder, qsizetype lines)
{
    Context &c = context();
    const QString script = Purge::scriptPath(folder.appFolder());
    const QString shown = Purge::run(folder.appFolder(), QString::fromLatin1(Bench::kServer), c.urlText(lines));
    if (!folder.settleStartedScripts())
        return QStringLiteral("a started script was still running and had to be killed");
    QFile app(script);
    app.open(QIODevice::ReadOnly);
    const QByteArray appScript = app.readAll();
    app.close();

    const std::string base = Baseline::purge(folder.nativePath(), Bench::kServer, c.urlTextUtf8(lines));
    QFile baseFile(script);
    baseFile.open(QIODevice::ReadOnly);
    const QByteArray baseScript = baseFile.readAll();
    if (appScript.isEmpty() || appScript != baseScript)
        return QStringLiteral("the baseline writes a different script than Purge::run");
    if (shown.toUtf8() != QByteArray::fromStdString(base))
        return QStringLiteral("the baseline reads a different text than Purge::run shows");
    return {};
}

void purgeBaselineCase(benchmark::State &state, const std::string &name, bool secondRun, qsizetype lines)
{
    Context &c = context();
    Bench::Folder &folder = c.purgeFolder(secondRun);
    const std::string path = folder.nativePath();
    const std::string &urls = c.urlTextUtf8(lines);
    if (c.firstRun(name)) {
        const QString error = baselineDiffers(folder, lines);
        if (!error.isEmpty()) {
            skip(state, error);
            return;
        }
    }
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const std::string shown = Baseline::purge(path, Bench::kServer, urls);
        benchmark::DoNotOptimize(shown.data());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["lines"] = double(lines);
}

Bench::Folder &serversFolder()
{
    Context &c = context();
    if (!c.servers) {
        c.servers = std::make_unique<Bench::Folder>(c.root, QStringLiteral("servers"));
        c.servers->writeServerList(kServers);
    }
    return *c.servers;
}

void serverListCase(benchmark::State &state)
{
    const std::string name = "load_server_list";
    Context &c = context();
    Bench::Folder &folder = serversFolder();
    if (!c.serversWindow)
        c.serversWindow = Context::openWindow(folder);
    CacheWindow *window = c.serversWindow.get();
    if (window->findChild<QListWidget *>(QStringLiteral("List1"))->count() != kServers + 1) {
        skip(state, QStringLiteral("List1 does not hold the servers of the file"));
        return;
    }
    if (c.firstRun(name))
        Driver::reloadServerList(window);
    for (auto _ : state) {
        const double seconds = Driver::reloadServerList(window);
        if (seconds < 0) {
            skip(state, QStringLiteral("List1 was not painted"));
            break;
        }
        state.SetIterationTime(seconds);
        Driver::drainEvents();
    }
    state.counters["servers"] = kServers;
}

void serverListBaselineCase(benchmark::State &state)
{
    const std::string path = serversFolder().nativePath() + "/serverlist.txt";
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const std::string text = Baseline::readFile(path);
        benchmark::DoNotOptimize(text.data());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["servers"] = kServers;
}

Bench::Folder &statusFolder()
{
    Context &c = context();
    if (!c.status) {
        c.status = std::make_unique<Bench::Folder>(c.root, QStringLiteral("status"));
        c.status->writeStatusResult(kStatusBytes);
    }
    return *c.status;
}

void statusCase(benchmark::State &state)
{
    const std::string name = "status_query";
    Context &c = context();
    Bench::Folder &folder = statusFolder();
    if (!c.statusWindow) {
        c.statusWindow = Context::openWindow(folder);
        c.statusWindow->setStatusPause(0);
        c.statusWindow->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(kStatusRequest);
    }
    CacheWindow *window = c.statusWindow.get();
    const QString result = StatusQuery::resultPath(folder.appFolder());

    auto once = [&](QString *error) {
        Driver::resetOutput(window);
        const double seconds = Driver::clickStatus(window);
        Driver::drainEvents();
        if (!folder.settleStartedScripts())
            *error = QStringLiteral("a started script was still running and had to be killed");
        else if (seconds < 0)
            *error = QStringLiteral("Text3 was not painted");
        else if (fileSize(result) != kStatusBytes)
            *error = QStringLiteral("the result file changed behind the benchmark");
        return seconds;
    };

    timeClicks(state, c.firstRun(name), once);
    Driver::resetOutput(window);
    state.counters["MiB"] = double(kStatusBytes) / (1024 * 1024);
}

void statusBaselineCase(benchmark::State &state)
{
    const std::string name = "baseline/status_query";
    Context &c = context();
    Bench::Folder &folder = statusFolder();
    const std::string path = folder.nativePath();
    if (c.firstRun(name)) {
        // Same script, same text as the program's own status query.
        const QString shown
                = StatusQuery(0).run(folder.appFolder(), QString::fromLatin1(Bench::kServer), kStatusRequest);
        folder.settleStartedScripts();
        QFile app(StatusQuery::scriptPath(folder.appFolder()));
        app.open(QIODevice::ReadOnly);
        const QByteArray appScript = app.readAll();
        app.close();
        const std::string text = Baseline::statusQuery(path, Bench::kServer, kStatusRequest.toStdString());
        app.open(QIODevice::ReadOnly);
        if (appScript.isEmpty() || appScript != app.readAll() || shown.toUtf8() != QByteArray::fromStdString(text)) {
            skip(state, QStringLiteral("the baseline does not do what StatusQuery::run does"));
            return;
        }
    }
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const std::string text = Baseline::statusQuery(path, Bench::kServer, kStatusRequest.toStdString());
        benchmark::DoNotOptimize(text.data());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["MiB"] = double(kStatusBytes) / (1024 * 1024);
}

void startCase(benchmark::State &state, const std::string &name, const std::function<QWidget *()> &make)
{
    Context &c = context();
    if (c.firstRun(name))
        Driver::startToFirstPaint(make);
    for (auto _ : state) {
        const double seconds = Driver::startToFirstPaint(make);
        if (seconds < 0) {
            skip(state, QStringLiteral("the window was not painted"));
            break;
        }
        state.SetIterationTime(seconds);
    }
}

Bench::Folder &startFolder()
{
    Context &c = context();
    if (!c.start)
        c.start = std::make_unique<Bench::Folder>(c.root, QStringLiteral("start"));
    return *c.start;
}

benchmark::internal::Benchmark *timed(benchmark::internal::Benchmark *b, int iterations)
{
    return b->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(iterations)
            ->Repetitions(kRepetitions)
            ->ReportAggregatesOnly(true);
}

} // namespace

void registerAll(const QString &root)
{
    context().root = root;

    for (bool secondRun : {false, true}) {
        for (long long lines : kPurgeLines) {
            // Short cases repeat within a repetition so each one lasts long enough to time.
            const int iterations = lines >= 100000 ? 1 : lines >= 10000 ? 3 : 10;
            const std::string name = std::string("purge/") + (secondRun ? "second/" : "fresh/") + std::to_string(lines);
            timed(benchmark::RegisterBenchmark(name.c_str(),
                                               [=](benchmark::State &s) { purgeCase(s, name, secondRun, lines); }),
                  iterations);
            timed(benchmark::RegisterBenchmark(
                          ("baseline/" + name).c_str(),
                          [=](benchmark::State &s) { purgeBaselineCase(s, "baseline/" + name, secondRun, lines); }),
                  iterations);
        }
    }

    const std::string servers = "load_server_list/" + std::to_string(kServers);
    timed(benchmark::RegisterBenchmark(servers.c_str(), serverListCase), 5);
    timed(benchmark::RegisterBenchmark(("baseline/" + servers).c_str(), serverListBaselineCase), 5);

    timed(benchmark::RegisterBenchmark("status_query/50MiB", statusCase), 1);
    timed(benchmark::RegisterBenchmark("baseline/status_query/50MiB", statusBaselineCase), 1);

    timed(benchmark::RegisterBenchmark("window_start",
                                       [](benchmark::State &s) {
                                           startCase(s, "window_start",
                                                     [] { return new CacheWindow(startFolder().appFolder()); });
                                       }),
          10);
    timed(benchmark::RegisterBenchmark(
                  "baseline/window_start",
                  [](benchmark::State &s) { startCase(s, "baseline/window_start", &Driver::makeBareWindow); }),
          10);
}

QString purgeFolder(bool second)
{
    return context().purgeFolder(second).path();
}

void shutdown()
{
    Context &c = context();
    c.freshWindow.reset();
    c.secondWindow.reset();
    c.serversWindow.reset();
    c.statusWindow.reset();
    Driver::drainEvents();
}

} // namespace Cases
