#include "commands/actions/resultreader.h"

#include "storage/textfile.h"

#include <QCoreApplication>

ResultReader::ResultReader(qint64 maxBytes)
    : m_left(maxBytes)
    , m_maxBytes(maxBytes)
{ }

void ResultReader::append(QString &shown, const QString &path)
{
    if (cut())
        return;
    const TextFile::FilePart part = TextFile::FileContent(path, m_left);
    shown += part.text;
    m_left -= part.bytes;
    if (part.cut)
        m_cutAt = path;
}

void ResultReader::finish(QString &shown, Kind kind) const
{
    if (!cut())
        return;
    if (!shown.isEmpty() && !shown.endsWith(QLatin1Char('\n')))
        shown += QStringLiteral("\r\n");
    shown += cutLine(kind, m_maxBytes, m_cutAt);
}

QString ResultReader::cutLine(Kind kind, qint64 maxBytes, const QString &path)
{
    const QString mib = QString::number(maxBytes >> 20);
    return kind == Kind::Status
            ? QCoreApplication::translate("ResultReader",
                                          "[The answer is cut here, at %1 MiB. All of it is in the result file %2]")
                      .arg(mib, path)
            : QCoreApplication::translate("ResultReader",
                                          "[The answers are cut here, at %1 MiB. From the result file %2 on, they "
                                          "are whole in the result files]")
                      .arg(mib, path);
}
