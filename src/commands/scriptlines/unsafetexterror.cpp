#include "commands/scriptlines/unsafetexterror.h"

#include <QCoreApplication>

UnsafeTextError::UnsafeTextError(const QString &what, const QString &text, const QString &reason)
    : ActionError(QCoreApplication::translate("UnsafeTextError", "Passing a text to the command interpreter"), what,
                  reason)
    , m_text(text)
{ }

QString UnsafeTextError::message() const
{
    // Long texts are cut so the box stays readable; the field name says where to look.
    const int shown = 200;
    const QString excerpt = m_text.size() > shown ? m_text.left(shown) + QStringLiteral("…") : m_text;
    return QCoreApplication::translate("UnsafeTextError",
                                       "Nothing was written or started.\n\n%1 cannot be passed safely to the "
                                       "command interpreter: it holds %2.\n\n%3")
            .arg(subject(), reason(), excerpt);
}
