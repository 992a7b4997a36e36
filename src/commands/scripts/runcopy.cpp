#include "commands/scripts/runcopy.h"

#include <QCoreApplication>

namespace {
QString writing()
{
    return QCoreApplication::translate("ScriptWriter", "Writing a command script");
}
} // namespace

QString RunCopy::runPrefix(const QString &scriptPath)
{
    QString prefix = scriptPath;
    if (prefix.endsWith(QStringLiteral(".bat"), Qt::CaseInsensitive))
        prefix.chop(4);
    return prefix + QStringLiteral(".run-");
}

RunCopy::RunCopy(const QString &scriptPath, ShellDialect dialect)
    : m_file(runPrefix(scriptPath), QStringLiteral(".bat"), writing())
    , m_dialect(dialect)
{ }

void RunCopy::write(const QByteArray &bytes)
{
    m_file.write(bytes);
}

void RunCopy::close()
{
    if (m_dialect == ShellDialect::Cmd) {
        // The last line, so nothing follows it: on Windows cmd.exe goes back to
        // the file for the next line and, finding it gone, ends. The name is ours
        // and plain, and cmd.exe runs in the copy's folder (see CmdStartLine).
        const QString &path = m_file.path();
        const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
        write(QByteArrayLiteral("del \".\\") + path.mid(cut + 1).toLatin1() + QByteArrayLiteral("\"\r\n"));
    }
    m_file.close();
}

void RunCopy::discard()
{
    m_file.discard();
}
