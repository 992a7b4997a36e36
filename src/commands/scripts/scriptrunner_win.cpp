#include "commands/scripts/scriptrunner.h"

#include "commands/scriptlines/cmdstartline.h"
#include "commands/scriptlines/systemfolder.h"
#include "commands/scripts/companionfile.h"
#include "commands/scripts/scriptrunner_p.h"
#include "commands/scripts/winprocesstree.h"
#include "storage/fileerror.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <windows.h>

qint64 ScriptRunnerPlatform::launch(const QString &runPath)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // No text of the folder goes on cmd.exe's command line: see CmdStartLine.
    const CmdStartLine line(QDir::toNativeSeparators(runPath));
    // The system's own cmd.exe: COMSPEC may name another interpreter, and the
    // scripts' quoting holds for cmd.exe alone.
    const QString cmd = SystemFolder::file(QStringLiteral("cmd.exe"));
    if (cmd.isEmpty())
        throw FileError(starting(), runPath, qt_error_string());
    process.setProgram(cmd);
    process.setNativeArguments(line.arguments());
    process.setWorkingDirectory(line.workingDirectory());
    // The clients are background work: below the window, and the lanes that
    // cmd.exe starts take its class. Never above the program's own.
    const DWORD priority = GetPriorityClass(GetCurrentProcess()) == IDLE_PRIORITY_CLASS ? IDLE_PRIORITY_CLASS
                                                                                        : BELOW_NORMAL_PRIORITY_CLASS;
    process.setCreateProcessArgumentsModifier([priority](QProcess::CreateProcessArguments *args) {
        args->flags |= CREATE_NO_WINDOW | CREATE_SUSPENDED | priority;
    });
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        throw FileError(starting(), runPath, process.errorString());
    return pid;
}

void ScriptRunnerPlatform::started(qint64 pid, quint64 startTime, const QString &runPath)
{
    // Suspended until it is in a job of its own: the lanes it starts are in
    // it from their first instant.
    const auto id = static_cast<unsigned long>(pid);
    if (!WinProcessTree::adopt(id)) {
        const QString reason = qt_error_string();
        WinProcessTree::endOurInterpreter(id, startTime);
        throw FileError(starting(), runPath, reason);
    }
}

quint64 ScriptRunnerPlatform::startTimeOf(qint64 pid)
{
    return WinProcessTree::startTime(static_cast<unsigned long>(pid));
}

bool ScriptRunner::isRunning(const StartedScript &script)
{
    return script.pid > 0 && script.startTime != 0
            && WinProcessTree::isOurInterpreter(static_cast<unsigned long>(script.pid), script.startTime);
}

void ScriptRunner::stop(const StartedScript &script)
{
    const auto id = static_cast<unsigned long>(script.pid);
    if (script.pid > 0 && script.startTime != 0 && WinProcessTree::endOurInterpreter(id, script.startTime)
        && !script.runPath.isEmpty()) {
        QFile::remove(script.runPath);
        CompanionFile::removeAll(script.runPath);
    }
}
