#include "storage/appfolder.h"

#include "storage/actionerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString finding()
{
    return QCoreApplication::translate("AppFolder", "Finding the program's own folder");
}
} // namespace

AppFolder::AppFolder(const QString &path)
    : m_path(QDir::toNativeSeparators(path))
{
    // An empty path would join every name onto the root: "/serverlist.txt".
    if (m_path.isEmpty())
        throw ActionError(finding(), QString(), QCoreApplication::translate("AppFolder", "The folder's path is empty"));
    // "C:\tools\" and "/opt/q/" lose the trailing separator; a bare root keeps it.
    const QChar sep = QDir::separator();
    while (m_path.size() > 1 && m_path.endsWith(sep) && !m_path.endsWith(QStringLiteral(":") + sep))
        m_path.chop(1);
    m_programPath = m_path;
}

AppFolder AppFolder::ofExecutable()
{
    return usable(QCoreApplication::applicationDirPath());
}

AppFolder AppFolder::usable(const QString &path)
{
    // Qt gives an empty path when the folder's name is not valid in the file
    // name encoding; a name it could only guess at would be another folder.
    if (path.isEmpty())
        throw ActionError(finding(), QString(),
                          QCoreApplication::translate("AppFolder",
                                                      "Its name cannot be read. Move the program into "
                                                      "a folder whose name is valid text."));
    if (!QFileInfo(path).isDir())
        throw ActionError(finding(), path, QCoreApplication::translate("AppFolder", "It is not a folder that exists"));
    return AppFolder(path);
}

QString AppFolder::file(const QString &name) const
{
    return m_path + QDir::separator() + name;
}

QString AppFolder::programFile(const QString &name) const
{
    return m_programPath + QDir::separator() + name;
}

AppFolder AppFolder::withResultsIn(const QString &path) const
{
    AppFolder results(path);
    results.m_programPath = m_programPath;
    return results;
}
