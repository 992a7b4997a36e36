#include "commands/scriptrunner.h"

#include "storage/fileerror.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <QDir>
#include <windows.h>
#endif

void ScriptRunner::start(const QString &scriptPath)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
#ifdef Q_OS_WIN
    process.setProgram(qEnvironmentVariable("COMSPEC", QStringLiteral("cmd.exe")));
    // /s /c "<line>" makes cmd.exe take the outer quotes off and run the rest as is.
    process.setNativeArguments(QStringLiteral("/d /s /c \"\"%1\"\"").arg(QDir::toNativeSeparators(scriptPath)));
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
    if (!process.startDetached())
        throw FileError(QStringLiteral("Starting a command script"), scriptPath, process.errorString());
}
