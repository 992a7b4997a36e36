#include "storage/serverlist.h"

#include "storage/linesplit.h"
#include "storage/textfile.h"

ServerList::ServerList(const AppFolder &folder)
    : m_folder(folder)
{ }

QString ServerList::filePath() const
{
    return m_folder.file(QStringLiteral("serverlist.txt"));
}

QStringList ServerList::load() const
{
    return SplitLines(TextFile::FileContent(filePath()));
}

void ServerList::add(const QString &server) const
{
    TextFile::WriteContentLine(server, filePath());
}
