#include "commands/scriptrunner.h"

#include "commands/cmdstartline.h"
#include "storage/fileerror.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#ifdef Q_OS_WIN
#include <QDir>
#include <tlhelp32.h>
#include <windows.h>
#else
#include <cerrno>
#include <signal.h>
#include <unistd.h>
#endif

qint64 ScriptRunner::start(const QString &scriptPath)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
    // No text of the folder goes on cmd.exe's command line: see CmdStartLine.
    const CmdStartLine line(QDir::toNativeSeparators(scriptPath));
    process.setProgram(qEnvironmentVariable("COMSPEC", QStringLiteral("cmd.exe")));
    process.setNativeArguments(line.arguments());
    process.setWorkingDirectory(line.workingDirectory());
    process.setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *args) { args->flags |= CREATE_NO_WINDOW; });
#else
    // The scripts keep their CR LF line ends. sed takes the CR off each line before
    // sh sees it, so it never ends up glued to the last word of a command (the
    // quoting refuses a CR LF inside a text, so no quoted CR is lost this way).
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), QStringLiteral("eval \"$(sed 's/\\r$//' \"$1\")\""),
                          QStringLiteral("quellory-script"), scriptPath});
#endif
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        throw FileError(QStringLiteral("Starting a command script"), scriptPath, process.errorString());
    return pid;
}

#ifdef Q_OS_WIN

namespace {
// Ends process id and everything it started, children first.
void endTree(DWORD id)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID == id && entry.th32ProcessID != id)
                endTree(entry.th32ProcessID);
        }
        CloseHandle(snapshot);
    }
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 1000);
        CloseHandle(process);
    }
}

bool isOurInterpreter(DWORD id)
{
    // The id may have been handed to another program since our script ended.
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    wchar_t name[MAX_PATH];
    DWORD size = MAX_PATH;
    const bool ok = QueryFullProcessImageNameW(process, 0, name, &size);
    CloseHandle(process);
    return ok && QString::fromWCharArray(name, int(size)).endsWith(QStringLiteral("cmd.exe"), Qt::CaseInsensitive);
}
} // namespace

void ScriptRunner::stop(qint64 pid, const QString &scriptPath)
{
    Q_UNUSED(scriptPath);
    if (pid > 0 && isOurInterpreter(DWORD(pid)))
        endTree(DWORD(pid));
}

#else

namespace {
// True while pid is the interpreter we started for scriptPath: its arguments end
// with our marker and the script's path.
bool isOurScript(qint64 pid, const QString &scriptPath)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return false;
    const QByteArray tail = QByteArrayLiteral("quellory-script") + '\0' + QFile::encodeName(scriptPath) + '\0';
    return cmdline.readAll().endsWith(tail);
}
} // namespace

void ScriptRunner::stop(qint64 pid, const QString &scriptPath)
{
    if (pid <= 0 || !isOurScript(pid, scriptPath))
        return;
    // startDetached gives the script a session of its own, so its process group
    // holds the shell and every squidclient it started, and nothing else.
    const pid_t group = getpgid(pid_t(pid));
    if (group <= 0 || group == getpgid(0) || getsid(pid_t(pid)) != group)
        return;
    kill(-group, SIGKILL);
    // Return once the script is gone (or only a zombie), so nothing of it writes
    // after this; a moment at most.
    const QDeadlineTimer deadline(1000);
    while (!deadline.hasExpired() && kill(-group, 0) == 0 && isOurScript(pid, scriptPath))
        QThread::msleep(5);
}

#endif
