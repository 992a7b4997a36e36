#include "commands/actions/visiblepassworderror.h"

#include <QCoreApplication>

VisiblePasswordError::VisiblePasswordError()
    : ActionError(QCoreApplication::translate("VisiblePasswordError", "Sending the password"), QString(),
                  QCoreApplication::translate("VisiblePasswordError", "squidclient takes it on its command line"))
{ }

QString VisiblePasswordError::message() const
{
    return QCoreApplication::translate(
            "VisiblePasswordError",
            "Nothing was written or started yet.\n\nThis request carries a password, and only squidclient is "
            "there to send it: squidclient takes the password on its command line, where every user of this "
            "computer can read it while the query runs. Installing curl keeps it hidden.\n\nSend it all the same?");
}
