#pragma once

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// What a cache manager's "objects" report (or "vm_objects") says of the
// copies a server holds of some URLs that answer "Vary: Accept-Encoding": one
// copy per Accept-Encoding text a client sent, each under a key of its own.
//
// The report lists an entry a paragraph: "KEY <32 hex digits>", then, for an
// entry that has a memory object (in memory, or read from disk since Squid
// started), a line "\t<method> <URL>" and, for a variant, "\tvary_headers:
// accept-encoding=\"gzip,%20deflate\"" (the value escaped as in a URL), or
// "accept-encoding" alone for a request that had no such header. An entry that
// is on disk only shows its key alone. Squid 7 wraps it all in "by kid0 {" and
// "} by kid0". Squid 5, 6 and 7 make a variant's key the MD5 of the method's
// byte (GET is 1), the URL and its vary_headers text, as they stand; so a key
// alone still tells whether a text has a copy (holds()).
//
// A report of a large cache runs to hundreds of MiB: it is read once, a line
// at a time, and only what concerns the URLs asked about, and the keys of
// entries without a URL, is kept.
class VaryListing
{
public:
    // Reads the result file of a manager request for "objects" as the
    // client left it (status line, headers, the report, and the client's own
    // error line where it gave up). `urls` are the URLs asked about.
    static VaryListing read(QIODevice &file, const QSet<QString> &urls);

    // The server answered with a report (status 200).
    bool answered() const { return m_answered; }
    // It came to its end: the client ended without a complaint of its own
    // (a report that stalls is given up on, and its tail is then missing).
    bool whole() const { return m_whole; }

    // The Accept-Encoding texts of url's variants that the report shows with
    // its URL, in its order; a null text for the variant without the header.
    // Variants that vary on other headers as well are not among them.
    QStringList encodings(const QString &url) const;
    // Whether the report lists, without a URL, the key of url's variant for
    // `encoding` (null: without the header), or of url itself.
    bool holds(const QString &url, const QString &encoding) const;
    bool holdsPlain(const QString &url) const;
    // The Accept-Encoding values that refresh every copy of url this report
    // shows, in the order to send them (null: without the header): each
    // variant listed with its URL, then each of `candidates` whose key stands
    // alone, each value once. Empty when none is shown: one plain PURGE does.
    // `nameable` is cleared when a variant is listed that no request can make
    // again: one with an empty value, which the client lines send as none.
    QStringList refreshValues(const QString &url, const QStringList &candidates, bool *nameable = nullptr) const;
    // How many entries the report held, URLs or not.
    qsizetype entries() const { return m_entries; }

    // url as Squid keeps it, and as the report and the keys name it:
    // "HTTP://Host:80/a" is "http://host/a". Every URL given to the
    // functions above is taken so.
    static QString storeUrl(const QString &url);
    // Squid's key of a GET of url with that vary_headers text (empty: the
    // plain URL, the Vary marker), 16 bytes.
    static QByteArray key(const QString &url, const QByteArray &varyHeaders);
    // The vary_headers text of a request with that Accept-Encoding value
    // (null: without the header).
    static QByteArray varyHeaders(const QString &encoding);

private:
    using Key = std::array<unsigned char, 16>;
    bool hasBareKey(const QByteArray &key) const;

    bool m_answered = false;
    bool m_whole = false;
    qsizetype m_entries = 0;
    QHash<QString, QStringList> m_encodings;
    // Sorted once the report is read.
    std::vector<Key> m_bareKeys;
};
