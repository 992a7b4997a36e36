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
    return m_folder.programFile(QStringLiteral("serverlist.txt"));
}

QStringList ServerList::load() const
{
    const auto refuse = [this](const QString &why) {
        throw FileError(QCoreApplication::translate("ServerList", "Reading the server list"), filePath(), why);
    };
    const TextFile::FilePart part = TextFile::FileContent(filePath(), kMaxBytes);
    if (part.cut)
        refuse(QCoreApplication::translate("ServerList",
                                           "The file is larger than %1 MiB, far more than any list of servers; it is "
                                           "left as it is and not shown.")
                       .arg(kMaxBytes >> 20));
    // Counted before the split: 32 million empty items take gigabytes.
    if (part.text.count(QStringLiteral("\r\n")) > kMaxLines)
        refuse(QCoreApplication::translate("ServerList",
                                           "The file has more than %1 lines, far more than any list of servers; it "
                                           "is left as it is and not shown.")
                       .arg(kMaxLines));
    QStringList items = SplitLines(part.text);
    for (const QString &item : std::as_const(items)) {
        if (item.size() > kMaxLineChars)
            refuse(QCoreApplication::translate("ServerList",
                                               "The file has a line of more than %1 characters, far longer than any "
                                               "server's name; it is left as it is and not shown.")
                           .arg(kMaxLineChars));
    }
    return items;
}

void ServerList::add(const QString &server) const
{
    TextFile::WriteContentLine(server, filePath());
}
