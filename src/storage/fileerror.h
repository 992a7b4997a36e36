#pragma once

#include <QString>
#include <stdexcept>

// A file operation that failed. It carries what the operator needs to act on it:
// what was being done, to which file, and the system's own words for why.
class FileError : public std::runtime_error
{
public:
    FileError(const QString &operation, const QString &path, const QString &systemText);

    const QString &operation() const { return m_operation; }
    const QString &path() const { return m_path; }
    const QString &systemText() const { return m_systemText; }

    // One text for a message box: operation, path and reason on lines of their own.
    QString message() const;

private:
    QString m_operation;
    QString m_path;
    QString m_systemText;
};
