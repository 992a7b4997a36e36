#pragma once

#include "storage/appfolder.h"

#include <QString>

// Where a purge on several servers at once keeps the scripts and answers of
// every server but the first, whose stay in the program's folder as always:
// "servers" in the program's folder, a folder a server in it. A server's text
// is the operator's and may hold anything, so a folder's name is made from it,
// never taken: no text can turn it into a path elsewhere, and no two texts
// share one, on a file system that ignores case too. server.txt in the folder
// names its server.
namespace ServerFolder {

// "servers" in the program's folder.
QString rootPath(const AppFolder &folder);

// "s-", the server's first 32 ASCII letters, digits, dots and hyphens
// (lower-cased), "-" and 16 hex digits of the SHA-256 of its exact text.
QString name(const QString &server);

// The folder of `server`'s scripts and results, made (for its owner alone
// where the platform allows) with its server.txt. Throws FileError.
AppFolder make(const AppFolder &folder, const QString &server);

} // namespace ServerFolder
