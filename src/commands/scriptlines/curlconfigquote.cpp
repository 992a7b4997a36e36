#include "commands/scriptlines/curlconfigquote.h"

QString CurlConfigQuote::quote(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        // curl reads its config a line at a time: a line end inside a value
        // must be an escape. Tab and vertical tab would come through as they
        // are, but escaped they cannot be taken for the blank after a value.
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\v':
            out += QStringLiteral("\\v");
            break;
        default:
            out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString CurlConfigQuote::option(const char *name, const QString &value)
{
    return QLatin1String(name) + QStringLiteral(" = ") + quote(value);
}
