#include "commands/actions/purgelisting.h"

#include "commands/actions/varylisting.h"
#include "commands/scriptlines/squidclientline.h"
#include "commands/scripts/scriptwriter.h"
#include "storage/linesplit.h"
#include "storage/privatefile.h"

#include <QFile>
#include <QSet>

namespace {
const QString kResultName = QStringLiteral("objects.txt");
}

QString PurgeListing::resultPath(const AppFolder &folder)
{
    return folder.file(kResultName);
}

ScriptRunner::StartedScript PurgeListing::start(const AppFolder &folder, const QString &server, const QString &urls,
                                                ScriptRunner::StartedScript *last)
{
    Purge::check(folder, server, urls);
    const ShellDialect dialect = nativeShellDialect();
    const CodePages codePages = CodePages::ofSystem();
    const SquidclientLine command(dialect, folder, server, codePages, CacheClient::find(folder));
    if (last)
        ScriptRunner::stop(*last);
    ScriptWriter writer(Purge::scriptPath(folder), dialect, codePages);
    writer.writeRunCopy();
    writer.writeLine(command.status(QStringLiteral("mgr:objects"), command.folderFile(kResultName), QString(),
                                    kStallSeconds));
    writer.close();
    // Every URL the cache holds, whoever asked for it: the operator's alone.
    PrivateFile::restrictToOwner(resultPath(folder));
    const ScriptRunner::StartedScript started = ScriptRunner::start(writer.runPath());
    if (last)
        *last = started;
    return started;
}

PurgeListing::Plan PurgeListing::plan(const AppFolder &folder, const QString &urls, const QStringList &encodings)
{
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
