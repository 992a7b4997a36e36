#include "window/boxtext.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace BoxText {

QString text(const QPlainTextEdit *box)
{
    // toPlainText() would turn no-break spaces into blanks; the raw text keeps
    // them and marks each line break as a paragraph separator.
    QString raw = box->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return raw;
}

void setText(QPlainTextEdit *box, const QString &text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box->setPlainText(plain);
}

} // namespace BoxText
