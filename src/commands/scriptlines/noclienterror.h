#pragma once

#include "storage/actionerror.h"

// Neither squidclient beside the program nor curl on the system: a script
// would only fail, so none is written.
class NoClientError : public ActionError
{
public:
    // where: the squidclient that was looked for; curl: where curl was.
    NoClientError(const QString &where, const QString &curl);

    QString message() const override;
};
