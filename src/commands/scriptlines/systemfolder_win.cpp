#include "commands/scriptlines/systemfolder.h"

#include <windows.h>

QString SystemFolder::file(const QString &name)
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return QString();
    return QString::fromWCharArray(folder, int(length)) + QLatin1Char('\\') + name;
}
