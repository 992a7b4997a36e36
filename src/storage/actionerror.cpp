#include "storage/actionerror.h"

ActionError::ActionError(const QString &operation, const QString &subject, const QString &reason)
    : std::runtime_error(QString(operation + QStringLiteral(": ") + subject).toStdString())
    , m_operation(operation)
    , m_subject(subject)
    , m_reason(reason)
{ }

QString ActionError::message() const
{
    QString text = m_operation + QStringLiteral(" failed.\n\n");
    if (!m_subject.isEmpty())
        text += m_subject + QLatin1Char('\n');
    return text + QStringLiteral("Reason: ") + m_reason;
}
