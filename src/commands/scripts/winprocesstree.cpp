#include "commands/scripts/winprocesstree.h"

// <windows.h> first: <tlhelp32.h> builds on its types.
#include <windows.h>

#include <tlhelp32.h>

#include <map>
#include <utility>
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

// True when the process behind the handle is a child of ours running cmd.exe
// and was created at startedAt. Asked of the handle, so the answer holds for
// as long as the handle is open.
bool isOurs(HANDLE process, DWORD id, ULONGLONG startedAt)
{
    ULONGLONG created = 0;
    if (!creationTime(process, created) || created != startedAt || !isCmdImage(process))
        return false;
    const DWORD self = GetCurrentProcessId();
    for (const Entry &entry : processes()) {
        if (entry.id == id)
            return entry.parent == self;
    }
    return false;
}

// Ends the process behind the handle, created at `created`, then what it
// started. A parent id in the list may still name a process that ended long
// ago and whose id went to ours since, and only what was created after ours
// can be its child. The list is taken after the process has ended, so it cannot
// have started anything the list misses, and while we still hold it open, so
// its id cannot pass to a new process meanwhile.
void endFrom(HANDLE process, DWORD id, ULONGLONG created)
{
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 1000);
    for (const Entry &entry : processes()) {
        if (entry.parent != id || entry.id == id)
            continue;
        // Checked and ended through the same handle, like the script itself.
        HANDLE child
                = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.id);
        if (!child)
            continue;
        ULONGLONG childCreated = 0;
        if (creationTime(child, childCreated) && childCreated >= created)
            endFrom(child, entry.id, childCreated);
        CloseHandle(child);
    }
}

// The job of each adopted script, by its id and start time, until it is ended.
// (Win32's lock: the tests' cross compiler has no std::mutex.)
SRWLOCK jobsLock = SRWLOCK_INIT;
std::map<std::pair<DWORD, ULONGLONG>, HANDLE> jobs;

void endJob(DWORD id, ULONGLONG created)
{
    HANDLE job = nullptr;
    AcquireSRWLockExclusive(&jobsLock);
    const auto found = jobs.find({id, created});
    if (found != jobs.end()) {
        job = found->second;
        jobs.erase(found);
    }
    ReleaseSRWLockExclusive(&jobsLock);
    if (!job)
        return;
    TerminateJobObject(job, 1);
    CloseHandle(job);
}

} // namespace

bool WinProcessTree::adopt(unsigned long id)
{
    HANDLE process = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    ULONGLONG created = 0;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job && creationTime(process, created) && AssignProcessToJobObject(job, process)) {
        AcquireSRWLockExclusive(&jobsLock);
        jobs[{id, created}] = job;
        ReleaseSRWLockExclusive(&jobsLock);
    } else if (job) {
        CloseHandle(job);
    }
    CloseHandle(process);
    // A process started suspended has its one thread.
    bool resumed = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != id)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread) {
            resumed = ResumeThread(thread) != DWORD(-1) || resumed;
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    return resumed;
}

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
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    const bool ours = isOurs(process, id, startedAt);
    CloseHandle(process);
    return ours;
}

bool WinProcessTree::endOurInterpreter(unsigned long id, unsigned long long startedAt)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return false;
    const bool ours = isOurs(process, id, startedAt);
    if (ours) {
        endFrom(process, id, startedAt);
        endJob(id, startedAt);
    }
    CloseHandle(process);
    return ours;
}
