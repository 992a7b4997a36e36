#pragma once

#include "storage/appfolder.h"

#include <QByteArray>
#include <QString>

#include <string>

// Application folders for the benchmark and the data they hold. Every folder
// lives under one temporary directory that is removed when the run ends.
namespace Bench {

// The only address that appears anywhere in a benchmark: the server in the
// lists, the host in the URLs. Nothing is ever sent to it either, see
// disarmStartedScripts().
inline constexpr char kServer[] = "127.0.0.1";

// Makes every script the program starts from now on exit at once without running
// a line of it; `scratch` is a folder of ours to keep an empty directory in.
// See the comment in benchfolder.cpp for why and how.
void disarmStartedScripts(const QString &scratch);

// One application folder: it holds a squidclient that does nothing and a
// serverlist.txt naming kServer.
class Folder
{
public:
    Folder(const QString &parent, const QString &name);

    const QString &path() const { return m_path; }
    AppFolder appFolder() const { return AppFolder(m_path); }
    std::string nativePath() const { return m_path.toStdString(); }
    QString file(const QString &name) const { return m_path + QLatin1Char('/') + name; }

    // serverlist.txt with `count` loopback addresses (127.0.x.y), CR LF after each.
    void writeServerList(int count) const;
    // nslookup0.txt .. nslookup<count-1>.txt, each holding purgeAnswer().
    void writeResultFiles(qsizetype count) const;
    // "info.txt " of about `bytes` bytes of cache-manager output.
    void writeStatusResult(qsizetype bytes) const;

    // Waits until no script started from this folder is running any more, at most
    // timeoutMs; a script still running then is killed with its process group.
    // Returns false when one had to be killed.
    bool settleStartedScripts(int timeoutMs = 10000) const;

private:
    QString m_path;
};

// What Text1 holds for a purge of `lines` URLs: CR LF between lines, none after
// the last, as BoxText::text gives it back.
QString urlText(qsizetype lines);

// A squid answer to a purge as squidclient writes it: 300 bytes of headers.
const QByteArray &purgeAnswer();

// Writes `bytes` to `path`, replacing what was there; aborts the run on failure.
void writeFileOrDie(const QString &path, const QByteArray &bytes);

} // namespace Bench
