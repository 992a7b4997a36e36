#include "commands/scriptlines/cmdstartline.h"

#include "commands/scriptlines/refusalreason.h"
#include "commands/scriptlines/shellquote.h"

namespace {
// The script names we start (test.bat, info.bat) hold nothing that cmd.exe reads
// specially anywhere.
bool isPlainFileName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (!ShellQuote::isAsciiAlnum(c) && c != u'.' && c != u'_' && c != u'-')
            return false;
    }
    return true;
}
} // namespace

CmdStartLine::CmdStartLine(const QString &scriptPath)
{
    const qsizetype cut = scriptPath.lastIndexOf(QLatin1Char('\\'));
    const QString name = scriptPath.mid(cut + 1);
    Q_ASSERT(isPlainFileName(name));

    m_workingDirectory = scriptPath.left(qMax<qsizetype>(cut, 0));
    // A folder at a drive root ("Q:\\test.bat") keeps one separator: "Q:" alone
    // would mean the current folder of drive Q.
    while (m_workingDirectory.endsWith(QLatin1Char('\\')))
        m_workingDirectory.chop(1);
    if (m_workingDirectory.endsWith(QLatin1Char(':')))
        m_workingDirectory += QLatin1Char('\\');

    m_arguments = QStringLiteral("/d /v:off /s /c \"\".\\") + name + QStringLiteral("\"\"");
}

QString CmdStartLine::folderRefusal(const QString &folder)
{
    if (folder.startsWith(QStringLiteral("\\\\")) || folder.startsWith(QStringLiteral("//")))
        return RefusalReason::networkFolder();
    return QString();
}
