#include "commands/scripts/scriptrunner.h"

#include "commands/scripts/companionfile.h"
#include "commands/scripts/scriptrunner_p.h"
#include "storage/filetime.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>

ScriptRunner::StartedScript ScriptRunner::start(const QString &runPath)
{
    const qint64 writtenAt = FileTime::modifiedNs(runPath);
    // A copy whose interpreter never starts would be run by no one, and stay.
    auto removeCopy = qScopeGuard([&runPath] {
        QFile::remove(runPath);
        CompanionFile::removeAll(runPath);
    });
    const qint64 pid = ScriptRunnerPlatform::launch(runPath);
    const quint64 startTime = ScriptRunnerPlatform::startTimeOf(pid);
    ScriptRunnerPlatform::started(pid, startTime, runPath);
    removeCopy.dismiss();
    return {pid, startTime, runPath, writtenAt};
}

QString ScriptRunnerPlatform::starting()
{
    return QCoreApplication::translate("ScriptRunner", "Starting a command script");
}
