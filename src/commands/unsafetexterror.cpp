#include "commands/unsafetexterror.h"

namespace {
QString describe(const QString &what, const QString &text, const QString &reason)
{
    // Long texts are cut so the box stays readable; the field name says where to look.
    const int shown = 200;
    const QString excerpt = text.size() > shown ? text.left(shown) + QStringLiteral("…") : text;
    return QStringLiteral("Nothing was written or started.\n\n%1 cannot be passed safely to the "
                          "command interpreter: it holds %2.\n\n%3")
            .arg(what, reason, excerpt);
}
} // namespace

UnsafeTextError::UnsafeTextError(const QString &what, const QString &text, const QString &reason)
    : std::runtime_error(describe(what, text, reason).toStdString())
    , m_message(describe(what, text, reason))
{ }
