#include "commands/scriptlines/noclienterror.h"

#include <QCoreApplication>

NoClientError::NoClientError(const QString &where, const QString &curl)
    : ActionError(QCoreApplication::translate("NoClientError", "Finding a client for the cache server"), where, curl)
{ }

QString NoClientError::message() const
{
    return QCoreApplication::translate("NoClientError",
                                       "Nothing was written or started.\n\nThere is no squidclient beside the "
                                       "program (%1), and no curl (%2). Put squidclient into the program's "
                                       "folder, or install curl.")
            .arg(subject(), reason());
}
