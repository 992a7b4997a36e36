#include "storage/appfolder.h"

#include <QCoreApplication>
#include <QDir>

AppFolder::AppFolder(const QString &path)
    : m_path(QDir::toNativeSeparators(path))
{
    // "C:\tools\" and "/opt/q/" lose the trailing separator; a bare root keeps it.
    const QChar sep = QDir::separator();
    while (m_path.size() > 1 && m_path.endsWith(sep) && !m_path.endsWith(QStringLiteral(":") + sep))
        m_path.chop(1);
}

AppFolder AppFolder::ofExecutable()
{
    return AppFolder(QCoreApplication::applicationDirPath());
}

QString AppFolder::file(const QString &name) const
{
    return m_path + QDir::separator() + name;
}
