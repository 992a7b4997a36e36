#pragma once

#include "storage/actionerror.h"

// A text from the window that cannot be handed to the command interpreter as one
// argument, byte for byte. Raised before any script is written. The subject is
// the field ("The server", "URL line 3"), the reason what the text holds.
class UnsafeTextError : public ActionError
{
public:
    UnsafeTextError(const QString &what, const QString &text, const QString &reason);

    const QString &text() const { return m_text; }

    // Names the field, the text and why it was refused.
    QString message() const override;

private:
    QString m_text;
};
