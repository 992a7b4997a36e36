#pragma once

#include <QString>
#include <stdexcept>

// Why an action of the window could not be carried out: what was being done, to
// what, and why not. Every failure the program reports to the operator is one of
// these, so the window catches this one type and shows message().
class ActionError : public std::runtime_error
{
public:
    ActionError(const QString &operation, const QString &subject, const QString &reason);

    const QString &operation() const { return m_operation; }
    const QString &subject() const { return m_subject; }
    const QString &reason() const { return m_reason; }

    // One text for a message box.
    virtual QString message() const;

private:
    QString m_operation;
    QString m_subject;
    QString m_reason;
};
