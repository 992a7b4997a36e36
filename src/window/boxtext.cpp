#include "window/boxtext.h"

#include "outputbox/widget/outputbox.h"

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
    // The box's document takes CR LF as one line break by itself, so the text goes
    // in as it is: converting first would copy (and, with QString::replace,
    // shift) a text that can hold millions of lines.
    box->setPlainText(text);
}

void setText(OutputBox *box, QString &&text)
{
    box->document()->setText(std::move(text));
}

} // namespace BoxText
