#include "commands/scripts/runcopy.h"

#include "storage/fileerror.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace {
QString writing()
{
    return QCoreApplication::translate("ScriptWriter", "Writing a command script");
}

// The part of a script's path before its file name, with its separator, and the
// name without ".bat".
void split(const QString &scriptPath, QString &folder, QString &base)
{
    const qsizetype cut = qMax(scriptPath.lastIndexOf(QLatin1Char('\\')), scriptPath.lastIndexOf(QLatin1Char('/')));
    folder = scriptPath.left(cut + 1);
    base = scriptPath.mid(cut + 1);
    if (base.endsWith(QStringLiteral(".bat"), Qt::CaseInsensitive))
        base.chop(4);
}
} // namespace

RunCopy::RunCopy(const QString &scriptPath, ShellDialect dialect)
    : m_dialect(dialect)
{
    QString folder, base;
    split(scriptPath, folder, base);
    // NewOnly is an exclusive create: whatever is already under a name, another
    // copy's file or anything put there, stays untouched and another name is
    // drawn. Only a name that keeps coming back taken means something is wrong.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = base + QStringLiteral(".run-")
                + QStringLiteral("%1").arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'))
                + QStringLiteral(".bat");
        m_path = folder + name;
        m_file.setFileName(m_path);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return;
        if (!m_file.exists())
            break;
    }
    fail();
}

void RunCopy::fail() const
{
    throw FileError(writing(), m_path, m_file.errorString());
}

void RunCopy::write(const QByteArray &bytes)
{
    if (m_file.write(bytes) != bytes.size())
        fail();
}

void RunCopy::close()
{
    if (m_dialect == ShellDialect::Cmd) {
        // The last line, so nothing follows it: on Windows cmd.exe goes back to
        // the file for the next line and, finding it gone, ends. The name is ours
        // and plain, and cmd.exe runs in the copy's folder (see CmdStartLine).
        QString folder, name;
        split(m_path, folder, name);
        write(QByteArrayLiteral("del \".\\") + name.toLatin1() + QByteArrayLiteral(".bat\"\r\n"));
    }
    if (!m_file.flush())
        fail();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        fail();
}

void RunCopy::discard()
{
    m_file.close();
    QFile::remove(m_path);
}
