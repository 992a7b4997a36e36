#include "commands/actions/varylisting.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

const QByteArray kMember = QByteArrayLiteral("accept-encoding");

bool hexKey(QByteArrayView hex, std::array<unsigned char, 16> &key)
{
    if (hex.size() != 32)
        return false;
    for (qsizetype i = 0; i < 16; ++i) {
        const auto digit = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        };
        const int high = digit(hex[2 * i]);
        const int low = digit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        key[size_t(i)] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

// A line without its line end (LF, or CR LF as curl's -i gives the headers).
QByteArrayView chopped(const QByteArray &line)
{
    QByteArrayView view(line);
    if (view.endsWith('\n'))
        view.chop(1);
    if (view.endsWith('\r'))
        view.chop(1);
    return view;
}

} // namespace

QByteArray VaryListing::varyHeaders(const QString &encoding)
{
    if (encoding.isNull())
        return kMember;
    // As Squid escapes a header's value for the key: every byte a URL may
    // not hold as it is, and those with a meaning in one.
    static const QByteArray kEscaped = QByteArrayLiteral("<>\"#%{}|\\^~[]`' ;/?:@=&");
    QByteArray text = kMember + "=\"";
    for (const char c : encoding.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x1f || u >= 0x7f || kEscaped.contains(c))
            text += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        else
            text += c;
    }
    return text + '"';
}

QByteArray VaryListing::key(const QString &url, const QByteArray &varyHeaders)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    // The method's byte: GET.
    md5.addData(QByteArrayView("\x01", 1));
    md5.addData(url.toUtf8());
    md5.addData(varyHeaders);
    return md5.result();
}

QString VaryListing::storeUrl(const QString &url)
{
    // scheme://host[:port]..., the scheme and host in lower case and a
    // scheme's own port left out, as Squid keeps a URL; the rest as it is.
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    if (scheme <= 0)
        return url;
    const qsizetype from = scheme + 3;
    qsizetype end = from;
    while (end < url.size() && url.at(end) != u'/' && url.at(end) != u'?' && url.at(end) != u'#')
        ++end;
    const QString name = url.left(scheme).toLower();
    QString authority = url.mid(from, end - from);
    if (authority.contains(u'@'))
        return url; // credentials: left to Squid as they are
    authority = authority.toLower();
    const QString defaultPort = name == QLatin1String("http")    ? QStringLiteral(":80")
                                : name == QLatin1String("https") ? QStringLiteral(":443")
                                                                 : QString();
    if (!defaultPort.isEmpty() && authority.endsWith(defaultPort))
        authority.chop(defaultPort.size());
    return name + QLatin1String("://") + authority + url.mid(end);
}

VaryListing VaryListing::read(QIODevice &file, const QSet<QString> &asked)
{
    QSet<QString> urls;
    urls.reserve(asked.size());
    for (const QString &url : asked)
        urls.insert(storeUrl(url));
    VaryListing listing;
    QByteArray line;
    // The status line, then the headers up to a blank line.
    line = file.readLine();
    const QByteArrayView status = chopped(line);
    listing.m_answered = status.startsWith("HTTP/") && status.indexOf(" 200") == status.indexOf(' ');
    if (!listing.m_answered)
        return listing;
    while (!file.atEnd()) {
        line = file.readLine();
        if (chopped(line).isEmpty())
            break;
    }

    bool complaint = false;
    bool lastEnded = true;
    int wrappers = 0;
    Key key{};
    bool inEntry = false;
    bool hasKey = false;
    QString url;     // of the entry, when it is one asked about
    bool hasUrl = false;
    QByteArray vary; // its vary_headers text, when url is one asked about
    bool hasVary = false;
    const auto endEntry = [&] {
        if (!inEntry)
            return;
        ++listing.m_entries;
        if (!hasUrl) {
            if (hasKey)
                listing.m_bareKeys.push_back(key);
        } else if (!url.isEmpty() && hasVary) {
            QStringList &found = listing.m_encodings[url];
            if (vary == kMember) {
                found << QString();
            } else if (vary.startsWith(QByteArray(kMember + "=\"")) && vary.endsWith('"') && vary.count('"') == 2) {
                const QByteArray value = vary.mid(kMember.size() + 2, vary.size() - kMember.size() - 3);
                // accept-encoding="" is a client's empty header, not none.
                const QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(value));
                found << (text.isNull() ? QString(QLatin1String("")) : text);
            }
            // Anything else varies on other headers too, which a purge
            // cannot send as a client did.
        }
        inEntry = hasKey = hasUrl = hasVary = false;
        url.clear();
    };
    // The rest a large block at a time, each line a view into it: a line
    // cut by a block's end is joined to the next block first.
    QByteArray block;
    qsizetype at = 0;
    const auto nextLine = [&](QByteArrayView &out) {
        qsizetype end = block.indexOf('\n', at);
        while (end < 0) {
            block.remove(0, at);
            at = 0;
            const QByteArray more = file.read(1 << 20);
            if (more.isEmpty()) {
                if (block.isEmpty())
                    return false;
                out = QByteArrayView(block);
                at = block.size();
                lastEnded = false;
                return true;
            }
            block += more;
            end = block.indexOf('\n');
        }
        out = QByteArrayView(block).sliced(at, end + 1 - at);
        at = end + 1;
        return true;
    };
    QByteArrayView raw;
    while (nextLine(raw)) {
        if (lastEnded)
            lastEnded = raw.endsWith('\n');
        QByteArrayView text = raw;
        if (text.endsWith('\n'))
            text.chop(1);
        if (text.endsWith('\r'))
            text.chop(1);
        // Anything of the client's own: curl's "curl: (28) ...", glued to a
        // cut last line or on one of its own.
        if (text.contains("curl: (") || text.startsWith("ERROR") || text.startsWith("squidclient")) {
            complaint = true;
            continue;
        }
        // The last line of a cut report may be half of one: "accept-encoding"
        // of "accept-encoding=\"gzip\"" would be another variant.
        if (!lastEnded)
            break;
        if (text.startsWith("KEY ")) {
            endEntry();
            inEntry = true;
            hasKey = hexKey(text.sliced(4), key);
        } else if (text.startsWith("\tGET ")) {
            hasUrl = true;
            const QString shown = QString::fromUtf8(text.sliced(5));
            if (urls.contains(shown))
                url = shown;
        } else if (!url.isEmpty() && text.startsWith("\tvary_headers: ")) {
            hasVary = true;
            vary = text.sliced(15).toByteArray();
        } else if (text.startsWith("\t")) {
            // Another line of the entry: its state, times, locks, memory.
        } else if (text.startsWith("by kid") && text.endsWith("{")) {
            endEntry();
            ++wrappers;
        } else if (text.startsWith("} by kid")) {
            endEntry();
            --wrappers;
        } else {
            endEntry();
        }
    }
    endEntry();
    listing.m_whole = !complaint && lastEnded && wrappers == 0;
    std::sort(listing.m_bareKeys.begin(), listing.m_bareKeys.end());
    return listing;
}

QStringList VaryListing::encodings(const QString &url) const
{
    return m_encodings.value(storeUrl(url));
}

bool VaryListing::hasBareKey(const QByteArray &key) const
{
    Key wanted{};
    std::copy(key.begin(), key.end(), wanted.begin());
    return std::binary_search(m_bareKeys.begin(), m_bareKeys.end(), wanted);
}

bool VaryListing::holds(const QString &url, const QString &encoding) const
{
    return hasBareKey(key(storeUrl(url), varyHeaders(encoding)));
}

bool VaryListing::holdsPlain(const QString &url) const
{
    return hasBareKey(key(storeUrl(url), QByteArray()));
}

QStringList VaryListing::refreshValues(const QString &url, const QStringList &candidates, bool *nameable) const
{
    if (nameable)
        *nameable = true;
    QStringList values;
    const auto add = [&values](const QString &value) {
        // A null value and an empty one are different copies.
        for (const QString &known : std::as_const(values)) {
            if (known.isNull() == value.isNull() && known == value)
                return;
        }
        values << value;
    };
    for (const QString &value : encodings(url)) {
        if (!value.isNull() && value.isEmpty()) {
            if (nameable)
                *nameable = false;
            continue;
        }
        add(value);
    }
    for (const QString &value : candidates) {
        if (holds(url, value))
            add(value);
    }
    return values;
}
