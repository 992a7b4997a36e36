#pragma once

#include "storage/actionerror.h"

// A file operation that failed, with the system's own words for why.
class FileError : public ActionError
{
public:
    FileError(const QString &operation, const QString &path, const QString &systemText);

    const QString &path() const { return subject(); }
    const QString &systemText() const { return reason(); }

    // Operation, path and reason on lines of their own.
    QString message() const override;
};
