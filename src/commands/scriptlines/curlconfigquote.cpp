#include "commands/scriptlines/curlconfigquote.h"

#include "commands/scriptlines/codepagerule.h"

#include <QStringView>

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

QByteArray CurlConfigQuote::toAnsi(const CodePages &pages, const QString &config)
{
    QByteArray bytes;
    bytes.reserve(config.size());
    // ASCII as it is; every other character alone, so that only its own
    // second bytes are doubled, never an ASCII backslash (already escaped).
    qsizetype ascii = 0;
    const auto flush = [&](qsizetype to) {
        bytes += config.mid(ascii, to - ascii).toLatin1();
    };
    for (qsizetype i = 0; i < config.size();) {
        if (config.at(i).unicode() < 0x80) {
            ++i;
            continue;
        }
        flush(i);
        const qsizetype length = config.at(i).isHighSurrogate() && i + 1 < config.size() ? 2 : 1;
        const QByteArray character = CodePageRule::toAnsi(pages, config.mid(i, length));
        bytes += character.left(1);
        for (qsizetype b = 1; b < character.size(); ++b) {
            bytes += character.at(b);
            if (character.at(b) == '\\')
                bytes += '\\';
        }
        i += length;
        ascii = i;
    }
    flush(config.size());
    return bytes;
}
