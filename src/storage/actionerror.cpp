#include "storage/actionerror.h"

#include <QCoreApplication>

ActionError::ActionError(const QString &operation, const QString &subject, const QString &reason)
    : std::runtime_error(QString(operation + QStringLiteral(": ") + subject).toStdString())
    , m_operation(operation)
    , m_subject(subject)
    , m_reason(reason)
{ }

QString ActionError::message() const
{
    QString text = QCoreApplication::translate("ActionError", "%1 failed.").arg(m_operation) + QStringLiteral("\n\n");
    if (!m_subject.isEmpty())
        text += m_subject + QLatin1Char('\n');
    return text + QCoreApplication::translate("ActionError", "Reason: %1").arg(m_reason);
}
