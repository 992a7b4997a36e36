#include "storage/encodinglist.h"

#include "storage/fileerror.h"
#include "storage/linesplit.h"
#include "storage/textfile.h"

#include <QCoreApplication>

namespace {
QString reading()
{
    return QCoreApplication::translate("EncodingList", "Reading the Accept-Encoding values");
}
} // namespace

EncodingList::EncodingList(const AppFolder &folder)
    : m_folder(folder)
{ }

QString EncodingList::filePath() const
{
    return m_folder.programFile(QStringLiteral("encodings.txt"));
}

QStringList EncodingList::defaults()
{
    // A cache sees what a browser sends over plain HTTP, and over HTTPS where it
    // ends TLS for the site (an accelerator on https_port).
    return {
            // Firefox over HTTP: network.http.accept-encoding in greprefs.js of
            // Debian 12's firefox-esr 153 (omni.ja). Chrome, Edge and Safari send
            // the same over HTTP: they offer brotli and zstd only over HTTPS.
            QStringLiteral("gzip, deflate"),
            // Firefox over HTTPS: network.http.accept-encoding.secure in the same
            // file; Chrome and Edge (Chromium 123 and later) over HTTPS alike.
            QStringLiteral("gzip, deflate, br, zstd"),
            // Safari over HTTPS: brotli, no zstd.
            QStringLiteral("gzip, deflate, br"),
            // curl --compressed: Debian 12's curl 7.88.1 (zlib, brotli, zstd), as
            // it reached a loopback listener.
            QStringLiteral("deflate, gzip, br, zstd"),
    };
}

QStringList EncodingList::load() const
{
    const QString path = filePath();
    if (!TextFile::FileExist(path))
        return defaults();
    const TextFile::FilePart part = TextFile::FileContent(path, kMaxBytes);
    if (part.cut)
        throw FileError(reading(), path,
                        QCoreApplication::translate("EncodingList",
                                                    "The file is larger than %1 KiB, far more than any list of "
                                                    "Accept-Encoding values; it is left as it is and not used.")
                                .arg(kMaxBytes >> 10));
    QStringList values;
    for (const QString &line : SplitLines(part.text)) {
        if (!line.isEmpty())
            values << line;
    }
    if (values.size() > kMaxValues)
        throw FileError(reading(), path,
                        QCoreApplication::translate("EncodingList",
                                                    "The file holds %1 values; a purge sends at most %2, each of "
                                                    "them twice for every URL. It is left as it is and not used.")
                                .arg(values.size())
                                .arg(kMaxValues));
    return values;
}
