#include "commands/actions/purgelisting.h"

#include "commands/actions/varylisting.h"
#include "commands/actions/visiblepassworderror.h"
#include "commands/scriptlines/managerrequest.h"
#include "commands/scripts/runcopy.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scripts/scriptwriter.h"
#include "storage/linesplit.h"
#include "storage/privatefile.h"
#include "storage/textfile.h"
#include "commands/scriptlines/unsafetexterror.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <optional>

namespace {
const QString kResultName = QStringLiteral("objects.txt");
}

QString PurgeListing::resultPath(const AppFolder &folder)
{
    return folder.file(kResultName);
}

QString PurgeListing::optionsPath(const AppFolder &folder)
{
    return folder.programFile(QStringLiteral("purge-listing.txt"));
}

bool PurgeListing::sendsStatusPassword(const AppFolder &folder)
{
    const QString path = optionsPath(folder);
    if (!TextFile::FileExist(path))
        return false;
    // A few words; anything past the first KiB is no choice of the operator's.
    for (const QString &line : SplitLines(TextFile::FileContent(path, 1024).text)) {
        if (line.trimmed() == QLatin1String("password"))
            return true;
    }
    return false;
}

namespace {
struct Request
{
    QString text; // "mgr:objects", with the password where it is sent
    bool withPassword = false;
};

Request listingRequest(const AppFolder &folder, const QString &statusRequest)
{
    const ManagerRequest status = ManagerRequest::parse(statusRequest);
    Request request;
    request.withPassword = status.withPassword && PurgeListing::sendsStatusPassword(folder);
    request.text = request.withPassword ? QStringLiteral("mgr:objects@") + status.password
                                        : QStringLiteral("mgr:objects");
    return request;
}

void checkRequest(const SquidclientLine &command, const CacheClient &client, const Request &request,
                  StatusQuery::Password password)
{
    command.check(request.text, QCoreApplication::translate("StatusQuery", "The request"));
    if (request.withPassword && client.kind() == CacheClient::Kind::Squidclient
        && password != StatusQuery::Password::MayShow)
        throw VisiblePasswordError();
}
} // namespace

void PurgeListing::check(const AppFolder &folder, const QString &server, const QString &urls,
                         const QString &statusRequest, StatusQuery::Password password)
{
    Purge::check(folder, server, urls);
    const Request request = listingRequest(folder, statusRequest);
    const CacheClient client = CacheClient::find(folder, request.withPassword);
    const SquidclientLine command(nativeShellDialect(), folder, server, CodePages::ofSystem(), client);
    checkRequest(command, client, request, password);
}

ScriptRunner::StartedScript PurgeListing::start(const AppFolder &folder, const QString &server, const QString &urls,
                                                ScriptRunner::StartedScript *last, const QString &statusRequest,
                                                StatusQuery::Password password, QString *config, bool checked)
{
    const Written written = write(folder, server, urls, last, statusRequest, password, checked);
    ScriptRunner::StartedScript started;
    try {
        started = ScriptRunner::start(written.runPath);
    } catch (...) {
        if (!written.config.isEmpty())
            QFile::remove(written.config);
        throw;
    }
    if (last)
        *last = started;
    if (config)
        *config = written.config;
    return started;
}

PurgeListing::Written PurgeListing::write(const AppFolder &folder, const QString &server, const QString &urls,
                                          ScriptRunner::StartedScript *last, const QString &statusRequest,
                                          StatusQuery::Password password, bool checked)
{
    if (!checked)
        Purge::check(folder, server, urls);
    const Request listing = listingRequest(folder, statusRequest);
    const QString request = listing.text;
    const ShellDialect dialect = nativeShellDialect();
    const CodePages codePages = CodePages::ofSystem();
    const CacheClient client = CacheClient::find(folder, listing.withPassword);
    const SquidclientLine command(dialect, folder, server, codePages, client);
    checkRequest(command, client, listing, password);
    if (last)
        ScriptRunner::stop(*last);
    const QString path = Purge::scriptPath(folder);
    std::optional<PrivateFile> secret;
    if (command.needsConfig(request)) {
        secret.emplace(RunCopy::runPrefix(path), QStringLiteral(".cfg"),
                       QCoreApplication::translate("StatusQuery", "Writing curl's config file"));
        try {
            secret->write(command.config(request));
            secret->close();
        } catch (...) {
            secret->discard();
            throw;
        }
    }
    Written written;
    try {
        ScriptWriter writer(path, dialect, codePages);
        writer.writeRunCopy();
        writer.writeLine(command.status(request, command.folderFile(kResultName),
                                        secret ? secret->path() : QString(), kStallSeconds));
        if (secret)
            writer.writeLine(command.removal(secret->path()));
        writer.close();
        // Every URL the cache holds, whoever asked for it: the operator's alone.
        PrivateFile::restrictToOwner(resultPath(folder));
        written.runPath = writer.runPath();
    } catch (...) {
        if (secret)
            secret->discard();
        throw;
    }
    if (secret)
        written.config = secret->path();
    return written;
}

PurgeListing::Plan PurgeListing::plan(const AppFolder &folder, const QString &server, const QString &urls,
                                      const QStringList &encodings)
{
    SquidclientLine command(nativeShellDialect(), folder, server, CodePages::ofSystem(), CacheClient::find(folder));
    // A listed text the client lines refuse (a control character, or one too
    // long for cmd.exe) cannot be sent: its copy is left as it is, and its
    // line told as not listed.
    const auto sendable = [&](const QString &value) {
        if (value.isNull())
            return true;
        try {
            command.checkEncoding(value, 0);
            return true;
        } catch (const UnsafeTextError &) {
            return false;
        }
    };
    const QStringList lines = SplitLines(urls + QStringLiteral("\r\n"));
    QSet<QString> asked;
    for (const QString &url : lines) {
        if (!url.isEmpty())
            asked.insert(url);
    }
    QFile file(resultPath(folder));
    VaryListing listing;
    if (file.open(QIODevice::ReadOnly))
        listing = VaryListing::read(file, asked);
    file.close();
    QFile::remove(resultPath(folder));

    Plan plan;
    plan.answered = listing.answered();
    plan.whole = listing.answered() && listing.whole();
    QStringList candidates{QString()};
    candidates += encodings;
    // No value is empty (refreshValues leaves those out), so a null one never
    // meets an equal empty one here.
    QSet<QString> seen;
    const auto note = [&](const QStringList &values) {
        for (const QString &value : values) {
            if (!seen.contains(value)) {
                seen.insert(value);
                plan.valueList << value;
            }
        }
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).isEmpty())
            continue;
        bool nameable = true;
        QStringList values = listing.refreshValues(lines.at(i), candidates, &nameable);
        const qsizetype listed = values.size();
        values.removeIf([&](const QString &value) { return !sendable(value); });
        nameable = nameable && values.size() == listed;
        if (!plan.whole || !nameable) {
            // Unsure: what it named, then every value a client is likely to send.
            for (const QString &value : std::as_const(candidates)) {
                if (!values.contains(value))
                    values << value;
            }
            plan.unlisted << i;
        }
        note(values);
        if (!values.isEmpty())
            plan.values.insert(i, values);
    }
    return plan;
}
