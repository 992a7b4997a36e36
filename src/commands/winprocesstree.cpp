#include "commands/winprocesstree.h"

// <windows.h> first: <tlhelp32.h> builds on its types.
#include <windows.h>

#include <tlhelp32.h>

#include <vector>
#include <wchar.h>

namespace {

struct Entry
{
    DWORD id;
    DWORD parent;
};

std::vector<Entry> processes()
{
    std::vector<Entry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return entries;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    CloseHandle(snapshot);
    return entries;
}

// When the process was created, in FILETIME units.
bool creationTime(HANDLE process, ULONGLONG &time)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return false;
    time = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return true;
}

bool isCmdImage(HANDLE process)
{
    wchar_t name[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, name, &size))
        return false;
    const wchar_t suffix[] = L"\\cmd.exe";
    const DWORD suffixLength = DWORD(wcslen(suffix));
    return size >= suffixLength && _wcsicmp(name + size - suffixLength, suffix) == 0;
}

// Ends the process, then what it started, when it was created no earlier than
// `notBefore`: a parent id in the list may still name a process that ended long
// ago and whose id went to ours since, and only what was created after ours can
// be its child. The list is taken after the process has ended, so it cannot have
// started anything the list misses, and while we still hold it open, so its id
// cannot pass to a new process meanwhile.
void endFrom(DWORD id, ULONGLONG notBefore)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return;
    ULONGLONG created = 0;
    if (creationTime(process, created) && created >= notBefore) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 1000);
        for (const Entry &entry : processes()) {
            if (entry.parent == id && entry.id != id)
                endFrom(entry.id, created);
        }
    }
    CloseHandle(process);
}

} // namespace

unsigned long long WinProcessTree::startTime(unsigned long id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return 0;
    ULONGLONG created = 0;
    if (!creationTime(process, created))
        created = 0;
    CloseHandle(process);
    return created;
}

bool WinProcessTree::isOurInterpreter(unsigned long id, unsigned long long startedAt)
{
    const DWORD self = GetCurrentProcessId();
    for (const Entry &entry : processes()) {
        if (entry.id != id)
            continue;
        if (entry.parent != self)
            return false;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (!process)
            return false;
        ULONGLONG created = 0;
        const bool ours = isCmdImage(process) && creationTime(process, created) && created == startedAt;
        CloseHandle(process);
        return ours;
    }
    return false;
}

void WinProcessTree::endTree(unsigned long id)
{
    endFrom(id, 0);
}
