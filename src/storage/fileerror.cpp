#include "storage/fileerror.h"

#include <QCoreApplication>

FileError::FileError(const QString &operation, const QString &path, const QString &systemText)
    : ActionError(operation, path, systemText)
{ }

QString FileError::message() const
{
    return QCoreApplication::translate("ActionError", "%1 failed.").arg(operation()) + QStringLiteral("\n\n")
            + QCoreApplication::translate("FileError", "File: %1").arg(path()) + QLatin1Char('\n')
            + QCoreApplication::translate("ActionError", "Reason: %1").arg(systemText());
}
