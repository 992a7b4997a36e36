#pragma once

#include "storage/actionerror.h"

// The program's folder, or a program in it, that someone other than the
// operator (or root) owns or may write. Whoever can write there can put their
// own squidclient in it, or swap a script before the interpreter reads it, and
// so run their commands as the operator; so nothing is written or started
// there, as ssh refuses such a home directory (StrictModes).
class UntrustedPathError : public ActionError
{
public:
    UntrustedPathError(const QString &path, const QString &reason);

    QString message() const override;

    // Throws this error when `path` is owned by neither the effective user nor
    // root, or is writable by its group or by everyone (a sticky folder too).
    // In a user namespace that does not map root, root's files show the
    // kernel's overflow owner, which then counts as root.
    // A path that is not there passes. Checks nothing on Windows, where a
    // file's rights are its folder's unless someone gave it others.
    static void check(const QString &path);
};
