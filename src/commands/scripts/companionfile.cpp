#include "commands/scripts/companionfile.h"

#include "storage/fileerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

void CompanionFile::write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    // A config file may hold a password: no one but the owner reads it, from
    // its first byte on.
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::NewOnly)
            && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            && file.write(bytes) == bytes.size() && file.flush();
    if (written) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return;
    }
    const QString reason = file.errorString();
    if (file.isOpen()) {
        file.close();
        QFile::remove(path);
    }
    throw FileError(QCoreApplication::translate("ScriptWriter", "Writing a command script"), path, reason);
}

void CompanionFile::removeAll(const QString &runPath)
{
    const QFileInfo run(runPath);
    QString base = run.fileName();
    if (base.endsWith(QStringLiteral(".bat"), Qt::CaseInsensitive))
        base.chop(4);
    if (base.isEmpty())
        return;
    QDir folder = run.dir();
    // The name holds no wildcard of its own: a run copy's is ours and plain.
    const QFileInfoList found
            = folder.entryInfoList({base + QStringLiteral(".*")}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot
                                           | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : found) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}
