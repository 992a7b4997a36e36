#include "peakmemory.h"

#include "benchfolder.h"
#include "windowdriver.h"

#include "window/boxtext.h"
#include "window/cachewindow.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <malloc.h>

namespace PeakMemory {

namespace {

constexpr qsizetype kLines = 100000;

// A "VmXxx:   1234 kB" line of /proc/self/status, in KiB; -1 when absent.
long statusKiB(const char *field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ':';
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stol(line.substr(prefix.size()));
    }
    return -1;
}

// Sets VmHWM back to the current resident size (Linux 4.0 and later).
bool resetPeak()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return bool(out);
}

} // namespace

int runChild(const QString &argument)
{
    QTemporaryDir scratch;
    Bench::disarmStartedScripts(scratch.path());
    const Bench::Folder folder(argument.section(QLatin1Char('/'), 0, -2), argument.section(QLatin1Char('/'), -1));

    auto window = std::make_unique<CacheWindow>(folder.appFolder());
    window->show();
    window->findChild<QListWidget *>(QStringLiteral("List1"))->setCurrentRow(0);
    BoxText::setText(window->findChild<QPlainTextEdit *>(QStringLiteral("Text1")), Bench::urlText(kLines));
    Driver::drainEvents();
    // What was freed while setting up goes back to the system, so the figure
    // before the click is what the window holds, not what building its input cost.
    malloc_trim(0);

    const long before = statusKiB("VmRSS");
    const bool reset = resetPeak();
    const Driver::Click click = Driver::clickPurge(window.get());
    Driver::drainEvents();
    const long peak = statusKiB("VmHWM");
    const bool settled = folder.settleStartedScripts();

    if (click.seconds < 0 || click.boxName != QStringLiteral("purgeDoneBox") || !settled) {
        std::printf("peak-memory error=%s\n",
                    click.seconds < 0 ? "no-message"
                            : settled ? "purge-failed"
                                      : "script-left");
        return 1;
    }
    std::printf("peak-memory before_kib=%ld peak_kib=%ld reset=%d seconds=%.3f\n", before, peak, reset ? 1 : 0,
                click.seconds);
    return 0;
}

Result measure(const QString &folder)
{
    Result result;
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QString::fromLatin1(kChildFlag) + folder});
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    if (!child.waitForFinished(600000)) {
        child.kill();
        child.waitForFinished();
        result.error = QStringLiteral("the child did not finish");
        return result;
    }
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("peak-memory before_kib=(\\d+) peak_kib=(\\d+) reset=(\\d)"))
                      .match(out);
    if (child.exitCode() != 0 || !m.hasMatch()) {
        result.error = out.trimmed().isEmpty() ? QStringLiteral("the child failed") : out.trimmed();
        return result;
    }
    result.ok = true;
    result.beforeMiB = m.captured(1).toDouble() / 1024;
    result.peakMiB = m.captured(2).toDouble() / 1024;
    result.peakOfClick = m.captured(3) == QStringLiteral("1");
    return result;
}

} // namespace PeakMemory
