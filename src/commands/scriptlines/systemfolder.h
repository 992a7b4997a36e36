#pragma once

#include <QString>

// Windows' own programs (cmd.exe, curl.exe) are taken from the system folder
// alone, never from the application folder or PATH, where anything may stand
// under their names. Windows only.
namespace SystemFolder {

// `name` in the system folder, or empty when Windows does not say where that is.
QString file(const QString &name);

} // namespace SystemFolder
