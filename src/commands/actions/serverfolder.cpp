#include "commands/actions/serverfolder.h"

#include "storage/fileerror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {
QString making()
{
    return QCoreApplication::translate("ServerFolder", "Making a server's folder of results");
}

void makeDir(const QString &path)
{
    if (!QDir().mkpath(path))
        throw FileError(making(), path, QCoreApplication::translate("ServerFolder", "The folder cannot be made"));
    // Its scripts are run from it: no one else may write into it.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
} // namespace

QString ServerFolder::rootPath(const AppFolder &folder)
{
    return folder.programFile(QStringLiteral("servers"));
}

QString ServerFolder::name(const QString &server)
{
    QString readable;
    for (const QChar c : server) {
        if (readable.size() == 32)
            break;
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '.' || u == '-')
            readable += c;
        else if (u >= 'A' && u <= 'Z')
            readable += QChar(u - 'A' + 'a');
    }
    const QByteArray hash = QCryptographicHash::hash(server.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("s-") + readable + QLatin1Char('-') + QString::fromLatin1(hash);
}

AppFolder ServerFolder::make(const AppFolder &folder, const QString &server)
{
    const QString root = rootPath(folder);
    makeDir(root);
    const QString path = root + QDir::separator() + name(server);
    makeDir(path);
    const QString index = path + QDir::separator() + QStringLiteral("server.txt");
    QSaveFile file(index);
    if (!file.open(QIODevice::WriteOnly) || file.write(server.toUtf8()) < 0 || !file.commit())
        throw FileError(making(), index, file.errorString());
    return folder.withResultsIn(path);
}
