#include "storage/serverlist.h"

#include "storage/fileerror.h"
#include "storage/linesplit.h"
#include "storage/textfile.h"

#include <QCoreApplication>

ServerList::ServerList(const AppFolder &folder)
    : m_folder(folder)
{ }

QString ServerList::filePath() const
{
    return m_folder.file(QStringLiteral("serverlist.txt"));
}

QStringList ServerList::load() const
{
    const TextFile::FilePart part = TextFile::FileContent(filePath(), kMaxBytes);
    if (part.cut)
        throw FileError(QCoreApplication::translate("ServerList", "Reading the server list"), filePath(),
                        QCoreApplication::translate("ServerList",
                                                    "The file is larger than %1 MiB, far more than any list of "
                                                    "servers; it is left as it is and not shown.")
                                .arg(kMaxBytes >> 20));
    return SplitLines(part.text);
}

void ServerList::add(const QString &server) const
{
    TextFile::WriteContentLine(server, filePath());
}
