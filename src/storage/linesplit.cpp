#include "storage/linesplit.h"

QStringList SplitLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    return text.split(QStringLiteral("\r\n"), Qt::KeepEmptyParts);
}
