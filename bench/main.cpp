// quellory_bench: how long the operator waits for each action of the window on
// large inputs, beside plain C++ doing only the file work the action cannot
// avoid, and how much memory the largest purge takes. Run with `make bench`.
//
// Nothing here talks to a network: the only address used is 127.0.0.1, and the
// scripts the window starts are kept from running a single line (see
// disarmStartedScripts in benchfolder.cpp).

#include "benchfolder.h"
#include "cases.h"
#include "peakmemory.h"
#include "summary.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

QtMessageHandler qtHandler = nullptr;

// The offscreen platform warns each time a dialog opens; with one message box per
// purge that would bury the figures.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("does not support propagateSizeHints")))
        return;
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // The windows are real but need no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QString child;
    bool peakMemory = true;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], PeakMemory::kChildFlag, std::strlen(PeakMemory::kChildFlag)) == 0)
            child = QString::fromLocal8Bit(argv[i] + std::strlen(PeakMemory::kChildFlag));
        else if (std::strcmp(argv[i], "--no-peak-memory") == 0)
            peakMemory = false;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;

    if (child.isEmpty()) {
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 1;
    }

    QApplication app(argc, argv);
    qtHandler = qInstallMessageHandler(quietHandler);

    if (!child.isEmpty())
        return PeakMemory::runChild(child);

    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/quellory-bench-XXXXXX"));
    if (!root.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder: %s\n", qPrintable(root.errorString()));
        return 2;
    }
    Bench::disarmStartedScripts(root.path());

    Cases::registerAll(root.path());
    Summary::Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    Cases::shutdown();

    std::vector<Summary::Memory> memory;
    if (peakMemory) {
        for (bool second : {false, true}) {
            std::printf("peak memory, 100,000-line purge, %s ...\n", second ? "second run" : "fresh folder");
            std::fflush(stdout);
            memory.push_back({second ? "peak memory, purge, second run, 100,000 lines"
                                     : "peak memory, purge, fresh folder, 100,000 lines",
                              PeakMemory::measure(Cases::purgeFolder(second))});
        }
    }

    Summary::print(reporter, memory);
    benchmark::Shutdown();
    return 0;
}
