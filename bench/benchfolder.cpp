#include "benchfolder.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/types.h>

namespace Bench {

// Purge::run and StatusQuery::run start their script in the background through
// ScriptRunner, as `/bin/sh -c 'eval "$(sed 's/\r$//' "$1")"' quellory-script <script>`,
// and do not wait for it. Left alone, a 100,000-line script would then start
// 100,000 squidclient processes on this two-core machine while the next case is
// being timed, and every one of them would create or truncate its result file
// through the redirection, so a "fresh" folder would not stay fresh and a
// second-run folder would lose its 300-byte answers.
//
// The started shell finds sed through PATH, which it inherits from us. With PATH
// naming an empty directory sed is not found, the command substitution gives
// nothing, `eval ""` does nothing and the shell exits at once: no line of the
// script runs. The work the window itself does for a start, the fork and exec of
// /bin/sh, stays inside the measured time, because /bin/sh is named by its full
// path. Two more guards stay in place in case the runner changes one day: the
// folder's squidclient is a stand-in that exits at once, and after every timed
// iteration (outside the timing) Folder::settleStartedScripts() waits for every
// shell started from the folder to end, and the cases check that the result
// files are as they left them, failing loudly instead of timing a changed folder.
void disarmStartedScripts(const QString &scratch)
{
    const QString empty = scratch + QStringLiteral("/empty-path");
    if (!QDir().mkpath(empty)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(empty));
        std::exit(2);
    }
    qputenv("PATH", QFile::encodeName(empty));
}

Folder::Folder(const QString &parent, const QString &name)
    : m_path(parent + QLatin1Char('/') + name)
{
    if (!QDir().mkpath(m_path)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(m_path));
        std::exit(2);
    }
    // A squidclient that does nothing, should a line of a script ever run.
    const QString client = file(QStringLiteral("squidclient"));
    writeFileOrDie(client, "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(client, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    writeServerList(1);
}

void Folder::writeServerList(int count) const
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        // 127.0.0.1 first, then on through 127.0.x.y: all loopback.
        const int n = i + 1;
        bytes += "127.0." + QByteArray::number(n / 256) + '.' + QByteArray::number(n % 256) + "\r\n";
    }
    writeFileOrDie(file(QStringLiteral("serverlist.txt")), bytes);
}

void Folder::writeResultFiles(qsizetype count) const
{
    const QByteArray &answer = purgeAnswer();
    for (qsizetype i = 0; i < count; ++i) {
        const std::string path
                = (m_path + QStringLiteral("/nslookup") + QString::number(i) + QStringLiteral(".txt")).toStdString();
        std::FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(answer.constData(), 1, size_t(answer.size()), f) != size_t(answer.size())
            || std::fclose(f) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            std::exit(2);
        }
    }
}

void Folder::writeStatusResult(qsizetype bytes) const
{
    // What `squidclient mgr:info` prints: the HTTP head with CR LF, then the body
    // with bare LF line ends. The body's lines repeat with changing figures.
    QByteArray text = "HTTP/1.1 200 OK\r\nServer: squid/5.7\r\nMime-Version: 1.0\r\n"
                      "Date: Mon, 06 May 2024 09:14:27 GMT\r\nContent-Type: text/plain;charset=utf-8\r\n"
                      "Expires: Mon, 06 May 2024 09:14:27 GMT\r\nLast-Modified: Mon, 06 May 2024 09:14:27 GMT\r\n"
                      "Connection: close\r\n\r\n";
    text.reserve(bytes + 4096);
    static const char *const kLines[] = {
            "Squid Object Cache: Version 5.7",
            "Build Info: Debian linux",
            "Service Name: squid",
            "Start Time:\tMon, 06 May 2024 08:00:00 GMT",
            "Current Time:\tMon, 06 May 2024 09:14:27 GMT",
            "Connection information for squid:",
            "\tNumber of clients accessing cache:\t%d",
            "\tNumber of HTTP requests received:\t%d",
            "\tNumber of ICP messages received:\t0",
            "\tRequest failure ratio:\t 0.00",
            "\tAverage HTTP requests per minute since start:\t%d.5",
            "Cache information for squid:",
            "\tHits as % of all requests:\t5min: 41.2%, 60min: 39.8%",
            "\tStorage Swap size:\t%d KB",
            "\tStorage Mem size:\t%d KB",
            "\tMean Object Size:\t%d.17 KB",
            "Median Service Times (seconds)  5 min    60 min:",
            "\tHTTP Requests (All):   0.00%d  0.00865",
            "\tCache Hits:            0.00000  0.00000",
            "Resource usage for squid:",
            "\tUP Time:\t%d.123 seconds",
            "\tCPU Time:\t%d.456 seconds",
            "\tMaximum Resident Size: %d KB",
            "\tPage faults with physical i/o: 0",
            "Memory accounted for:",
            "\tTotal accounted:        %d KB",
            "File descriptor usage for squid:",
            "\tMaximum number of file descriptors:   %d",
            "\tNumber of file desc currently in use:   %d",
            "Internal Data Structures:",
            "\t%d StoreEntries",
            "\t%d StoreEntries with MemObjects",
    };
    char line[160];
    int round = 0;
    while (text.size() < bytes) {
        for (const char *pattern : kLines) {
            std::snprintf(line, sizeof line, pattern, 1000 + round);
            text += line;
            text += '\n';
        }
        ++round;
    }
    text.truncate(bytes);
    writeFileOrDie(file(QStringLiteral("info.txt ")), text);
}

namespace {

std::vector<std::string> argumentsOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    std::string::size_type start = 0;
    while (start < all.size()) {
        std::string::size_type end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// Shells ScriptRunner started for a script in `folder`: their arguments are
// -c, the command, "quellory-script" and the script's path.
std::vector<pid_t> startedScripts(const std::string &folder)
{
    std::vector<pid_t> found;
    DIR *proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::vector<std::string> args = argumentsOf(pid_t(pid));
        bool marked = false;
        bool ours = false;
        for (const std::string &arg : args) {
            marked = marked || arg == "quellory-script";
            ours = ours || arg.compare(0, folder.size() + 1, folder + '/') == 0;
        }
        if (marked && ours)
            found.push_back(pid_t(pid));
    }
    closedir(proc);
    return found;
}

} // namespace

bool Folder::settleStartedScripts(int timeoutMs) const
{
    const std::string folder = nativePath();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (startedScripts(folder).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Only shells this run started from its own temporary folder get here. The
    // runner starts each in a session of its own, so the pid is also the group.
    for (pid_t pid : startedScripts(folder)) {
        if (::kill(-pid, SIGKILL) != 0)
            ::kill(pid, SIGKILL);
    }
    return false;
}

QString urlText(qsizetype lines)
{
    QString text;
    text.reserve(lines * 64);
    for (qsizetype i = 0; i < lines; ++i) {
        if (i > 0)
            text += QStringLiteral("\r\n");
        text += QStringLiteral("http://127.0.0.1/assets/images/products/2024/item-")
                + QString::number(i).rightJustified(6, QLatin1Char('0')) + QStringLiteral(".jpg");
    }
    return text;
}

const QByteArray &purgeAnswer()
{
    static const QByteArray answer = "HTTP/1.1 200 OK\r\n"
                                     "Server: squid/5.7\r\n"
                                     "Mime-Version: 1.0\r\n"
                                     "Date: Mon, 06 May 2024 09:14:27 GMT\r\n"
                                     "Content-Length: 0\r\n"
                                     "Cache-Control: no-cache, private\r\n"
                                     "X-Cache: MISS from cache-1.localdomain\r\n"
                                     "X-Cache-Lookup: NONE from cache-1.localdomain:3128\r\n"
                                     "Via: 1.1 cache-1.localdomain (squid/5.7)\r\n"
                                     "Connection: close\r\n"
                                     "\r\n";
    return answer;
}

void writeFileOrDie(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        std::exit(2);
    }
}

} // namespace Bench
