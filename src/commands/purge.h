#pragma once

#include "commands/shelldialect.h"
#include "storage/appfolder.h"

#include <QString>

// The purge action: writes test.bat with one squidclient purge per non-empty URL
// line, starts it, and gives back what the result files of those line numbers
// held before the start (the previous run's answers, or the missing-file text).
namespace Purge {

// Line i of urls is purged with its answer in nslookup<i>.txt; blank lines are
// skipped but keep their number. Throws UnsafeTextError before any file is
// touched, and FileError when a file operation fails (then nothing is started).
QString run(const AppFolder &folder, const QString &server, const QString &urls,
            ShellDialect dialect = nativeShellDialect());

QString scriptPath(const AppFolder &folder);
QString resultPath(const AppFolder &folder, qsizetype line);

} // namespace Purge
