#pragma once

#include <QString>
#include <stdexcept>

// A text from the window that cannot be handed to the command interpreter as one
// argument, byte for byte. Raised before any script is written.
class UnsafeTextError : public std::runtime_error
{
public:
    UnsafeTextError(const QString &what, const QString &text, const QString &reason);

    // A text for a message box naming the field, the text and why it was refused.
    QString message() const { return m_message; }

private:
    QString m_message;
};
