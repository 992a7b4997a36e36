#include "commands/scriptlines/codepages.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

CodePages CodePages::ofSystem()
{
#ifdef Q_OS_WIN
    return {GetACP(), GetOEMCP()};
#else
    return {20127, 20127};
#endif
}
