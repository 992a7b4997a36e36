#include "storage/fileerror.h"

FileError::FileError(const QString &operation, const QString &path, const QString &systemText)
    : ActionError(operation, path, systemText)
{ }

QString FileError::message() const
{
    return QStringLiteral("%1 failed.\n\nFile: %2\nReason: %3").arg(operation(), path(), systemText());
}
