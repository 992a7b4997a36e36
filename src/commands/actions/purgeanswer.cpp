#include "commands/actions/purgeanswer.h"

#include <algorithm>

namespace {
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "HTTP/<digit>.<digit> <3 digits>" followed by a blank or the line's end: the
// status of HTTP/1.0 and HTTP/1.1 alike. Gives 0 for anything else.
int statusCode(QByteArrayView head)
{
    if (head.size() < 12 || !head.startsWith("HTTP/") || !isDigit(head[5]) || head[6] != '.' || !isDigit(head[7])
        || head[8] != ' ' || !isDigit(head[9]) || !isDigit(head[10]) || !isDigit(head[11]))
        return 0;
    if (head.size() > 12 && head[12] != ' ' && head[12] != '\r' && head[12] != '\n')
        return 0;
    return (head[9] - '0') * 100 + (head[10] - '0') * 10 + (head[11] - '0');
}
} // namespace

PurgeAnswer::Answer PurgeAnswer::sort(QByteArrayView head)
{
    using G = Group;
    if (head.isEmpty())
        return {G::NoAnswer};
    if (const int status = statusCode(head)) {
        switch (status) {
        case 200:
            return {G::Purged, status, 1};
        case 404:
            return {G::NotCached, status};
        case 403:
            return {G::Refused, status};
        default:
            return {G::OtherStatus, status};
        }
    }
    // squidclient's own words when the server cannot be reached or its name
    // cannot be resolved, written to its error stream, which the script
    // redirects into the result file as well.
    if (head.startsWith("ERROR: Cannot connect to ") || head.startsWith("ERROR: Cannot resolve "))
        return {G::CannotConnect};
    // curl's, with -sS: "curl: (N) text", N its exit code. 7: could not
    // connect, 6: could not resolve. 52: the connection closed without a word,
    // where squidclient leaves an empty file; 28: timed out, where squidclient
    // is ended by its alarm and leaves an empty file too.
    if (head.startsWith("curl: (7) ") || head.startsWith("curl: (6) "))
        return {G::CannotConnect};
    if (head.startsWith("curl: (52) ") || head.startsWith("curl: (28) "))
        return {G::NoAnswer};
    return {G::DidNotRun};
}

PurgeAnswer::Answer PurgeAnswer::sortAll(QByteArrayView bytes, int expected)
{
    Answer first = sort(bytes);
    if (first.group != Group::Purged)
        return first;
    int answers = 1;
    // Each answer starts a line: squid's pages end with a line end, and so do
    // squidclient's and curl's complaints.
    for (qsizetype at = bytes.indexOf('\n'); at >= 0 && at + 1 < bytes.size(); at = bytes.indexOf('\n', at + 1)) {
        const QByteArrayView rest = bytes.sliced(at + 1);
        if (!statusCode(rest) && !rest.startsWith("ERROR: ") && !rest.startsWith("curl: ("))
            continue;
        ++answers;
        const Answer later = sort(rest.first(std::min(rest.size(), kHeadBytes)));
        if (later.group == Group::Purged)
            ++first.copies;
        else if (later.group != Group::NotCached)
            return {Group::NotRemoved, later.status, first.copies};
    }
    if (answers < expected)
        return {Group::NotRemoved, 0, first.copies};
    return first;
}
