#include "storage/fileerror.h"

FileError::FileError(const QString &operation, const QString &path, const QString &systemText)
    : std::runtime_error(QString(operation + QStringLiteral(": ") + path).toStdString())
    , m_operation(operation)
    , m_path(path)
    , m_systemText(systemText)
{ }

QString FileError::message() const
{
    return QStringLiteral("%1 failed.\n\nFile: %2\nReason: %3").arg(m_operation, m_path, m_systemText);
}
