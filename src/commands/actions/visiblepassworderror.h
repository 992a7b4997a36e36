#pragma once

#include "storage/actionerror.h"

// A status query with a password that only squidclient could send: it takes
// the password on its command line, which every user of the machine can read
// while it runs (curl, which reads it from a file, is not there). Raised before
// anything is written; the operator may send it all the same.
class VisiblePasswordError : public ActionError
{
public:
    VisiblePasswordError();

    // The question to put to the operator.
    QString message() const override;
};
