#include "commands/scripts/scriptrunner.h"

#include "commands/scripts/companionfile.h"
#include "commands/scripts/scriptrunner_p.h"
#include "storage/fileerror.h"
#include "storage/filetime.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>

ScriptRunner::StartedScript ScriptRunner::start(const QString &runPath)
{
    const qint64 writtenAt = FileTime::modifiedNs(runPath);
    // A copy whose interpreter never starts would be run by no one, and stay.
    auto removeCopy = qScopeGuard([&runPath] {
        QFile::remove(runPath);
        CompanionFile::removeAll(runPath);
    });
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    ScriptRunnerPlatform::setInterpreter(process, runPath);
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        throw FileError(ScriptRunnerPlatform::starting(), runPath, process.errorString());
    const quint64 startTime = ScriptRunnerPlatform::startTimeOf(pid);
    ScriptRunnerPlatform::started(pid, startTime, runPath);
    removeCopy.dismiss();
    return {pid, startTime, runPath, writtenAt};
}

QString ScriptRunnerPlatform::starting()
{
    return QCoreApplication::translate("ScriptRunner", "Starting a command script");
}
