#include "commands/scripts/scriptrunner.h"

#include "commands/scripts/companionfile.h"
#include "commands/scripts/scriptrunner_p.h"

#include "storage/fileerror.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
// The scripts this process started: its children, since posix_spawn forks
// once, not twice as a detached QProcess does. Each is reaped once it has
// ended, whether or not anyone still watches it.
std::mutex childrenLock;
std::vector<pid_t> children;

void reapEnded()
{
    const std::lock_guard<std::mutex> lock(childrenLock);
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; }),
                   children.end());
}
} // namespace

qint64 ScriptRunnerPlatform::launch(const QString &runPath)
{
    reapEnded();
    // The scripts keep their CR LF line ends. sed takes the CR off each line before
    // sh sees it, so it never ends up glued to the last word of a command (the
    // quoting refuses a CR LF inside a text, so no quoted CR is lost this way).
    // The copy has served once it is read: it goes before the first line runs.
    // Every file the script's redirections create (manager answers among them)
    // is for the operator alone, whatever umask the program was started with.
    const QByteArray path = QFile::encodeName(runPath);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char command[] = "umask 077 && s=$(sed 's/\\r$//' \"$1\") && rm -f -- \"$1\" && eval \"$s\"";
    char name[] = "quellory-script";
    char *arguments[] = {shell, dashC, command, name, const_cast<char *>(path.constData()), nullptr};
    // posix_spawn, not fork: forking copies this process's page tables while
    // it holds them, and a window of 200 MiB stalls each time its thread
    // touches memory, the longer the busier the cores. A process group of its
    // own, which holds all that the script starts and nothing else, so that
    // it can be lowered and stopped as one; every signal as a new program
    // finds it.
    // Not a session of its own: where the kernel shares the CPU out between
    // sessions (Linux's autogroup, on by default), a script's nice value would
    // weigh only against its own processes, and twenty scripts' sessions
    // would take twenty shares to the window's one. Lowering such a session
    // takes CAP_SYS_ADMIN, or waits its turn, once in a tenth of a second
    // for the whole system.
    posix_spawn_file_actions_t streams;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&streams);
    posix_spawnattr_init(&attributes);
    const auto release = qScopeGuard([&] {
        posix_spawn_file_actions_destroy(&streams);
        posix_spawnattr_destroy(&attributes);
    });
    posix_spawn_file_actions_addopen(&streams, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&streams, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&streams, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, shell, &streams, &attributes, arguments, environ);
    if (error != 0)
        throw FileError(starting(), runPath, qt_error_string(error));
    const std::lock_guard<std::mutex> lock(childrenLock);
    children.push_back(pid);
    return pid;
}

namespace {
// How far below the program the scripts run: still ahead of what runs at
// the lowest priority, as nice 19 jobs do.
constexpr int kBackgroundNice = 10;
// Fields 3 (the state) and 22 (the start time, in clock ticks since boot) of
// a process's stat line; false when it is gone.
bool statOf(qint64 pid, char *state, quint64 *startTime)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold blanks; the fields follow it.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() <= 19 || fields.at(0).isEmpty())
        return false;
    *state = fields.at(0).at(0);
    *startTime = fields.at(19).toULongLong();
    return true;
}

// True while pid is the interpreter we started and it has not ended: a
// process id and its start time name one process. Its command line would say
// less: right after the start it may still be ours, not yet the shell's.
bool isOurScript(const ScriptRunner::StartedScript &script)
{
    char state;
    quint64 startTime;
    return script.startTime != 0 && statOf(script.pid, &state, &startTime) && startTime == script.startTime
            && state != 'Z' && state != 'X';
}
} // namespace

quint64 ScriptRunnerPlatform::startTimeOf(qint64 pid)
{
    char state;
    quint64 startTime;
    return statOf(pid, &state, &startTime) ? startTime : 0;
}

void ScriptRunnerPlatform::started(qint64 pid, quint64 startTime, const QString &)
{
    // The script leads its own process group from its start. Its clients are
    // background work, and twenty servers' at once are forty processes on an
    // operator's two cores: they yield to the window, whose session they
    // share. Lowered from where the program runs, never raised: one started
    // at nice 15 keeps its scripts at 19. The whole group, so that what the
    // shell forked already goes too; what it forks later inherits the
    // shell's. A script gone has nothing to lower.
    if (startTime == 0 || getpgid(pid_t(pid)) != pid_t(pid))
        return;
    setpriority(PRIO_PGRP, id_t(pid), std::min(19, getpriority(PRIO_PROCESS, 0) + kBackgroundNice));
}

bool ScriptRunner::isRunning(const StartedScript &script)
{
    reapEnded();
    // A script that has ended is gone, or a zombie until it is reaped.
    return script.pid > 0 && isOurScript(script);
}

void ScriptRunner::stop(const StartedScript &script)
{
    const qint64 pid = script.pid;
    if (pid <= 0 || !isOurScript(script))
        return;
    // Ended, it is reaped here: no one may ask after it again.
    const auto reap = qScopeGuard(reapEnded);
    // Ended before it had read its copy, the shell would leave it behind;
    // its lanes' files too, which each lane removes only as it ends.
    const auto removeCopy = qScopeGuard([&script] {
        if (!script.runPath.isEmpty()) {
            QFile::remove(script.runPath);
            CompanionFile::removeAll(script.runPath);
        }
    });
    // The script leads a process group of its own, which holds the shell, its
    // lanes and every client they started, and nothing else: a lane is a
    // background job of a shell without job control, which stays in its group.
    const pid_t group = getpgid(pid_t(pid));
    if (group != pid_t(pid) || group == getpgid(0))
        return;
    kill(-group, SIGKILL);
    // Return once the script is gone (or only a zombie), so nothing of it writes
    // after this; a moment at most.
    const QDeadlineTimer deadline(1000);
    while (!deadline.hasExpired() && kill(-group, 0) == 0 && isOurScript(script))
        QThread::msleep(5);
}
