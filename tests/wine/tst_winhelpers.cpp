// The program's Qt-free Windows helpers, built by the MinGW-w64 cross compiler
// and run under wine: code-page conversion and ending a script's process tree.
//
//   tst_winhelpers.exe            runs the checks, prints "N passed, N failed"
//   tst_winhelpers.exe codepages  prints the ANSI and OEM code pages wine runs in
//   tst_winhelpers.exe sleep      sleeps (the stand-in a script waits on)
#include "commands/scriptlines/wincodepage.h"
#include "commands/scripts/winprocesstree.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char *what)
{
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s\n", what);
    }
}

void codePages()
{
    std::string bytes;
    std::wstring text;

    check(WinCodePage::encode(1252, L"caf\u00e9", bytes) && bytes == "caf\xe9", "1252 holds e acute as E9");
    check(WinCodePage::decode(437, bytes, text) && text == L"caf\u0398", "437 reads E9 as capital theta");
    check(WinCodePage::decode(1252, bytes, text) && text == L"caf\u00e9", "1252 reads E9 back");
    check(!WinCodePage::encode(1252, L"\u4e2d", bytes), "1252 has no Chinese");
    check(!WinCodePage::encode(1252, L"\u0100", bytes), "no best-fit stand-in for A macron");
    check(WinCodePage::encode(936, L"\u4e2d\u6587", bytes) && bytes == "\xd6\xd0\xce\xc4", "936 holds Chinese");
    check(WinCodePage::decode(936, bytes, text) && text == L"\u4e2d\u6587", "936 reads Chinese back");
    check(!WinCodePage::encode(936, L"\U0001F600", bytes), "936 has no emoji");
    check(WinCodePage::encode(65001, L"\u00e9\U0001F600", bytes) && bytes == "\xc3\xa9\xf0\x9f\x98\x80",
          "UTF-8 holds everything");
    check(!WinCodePage::encode(65001, std::wstring(1, wchar_t(0xd800)), bytes), "UTF-8 refuses half a pair");
    check(!WinCodePage::decode(65001, "\xff", text), "UTF-8 refuses a stray byte");
    check(!WinCodePage::decode(936, "\xd6", text), "936 refuses a lone lead byte");
    check(WinCodePage::encode(437, L"", bytes) && bytes.empty(), "empty text");
}

struct Child
{
    DWORD id;
    HANDLE handle;
};

Child start(const std::wstring &commandLine, DWORD flags = 0)
{
    std::wstring line = commandLine;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW | flags, nullptr, nullptr,
                        &startup, &process))
        return {0, nullptr};
    CloseHandle(process.hThread);
    return {process.dwProcessId, process.hProcess};
}

// The first process named `name` whose parent is id, waiting up to 10 s for one
// (a console program also has a conhost.exe as its child); 0 if none came.
DWORD childOf(DWORD id, const wchar_t *name)
{
    for (int tries = 0; tries < 200; ++tries) {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof(entry);
        DWORD found = 0;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID == id && _wcsicmp(entry.szExeFile, name) == 0)
                found = entry.th32ProcessID;
        }
        CloseHandle(snapshot);
        if (found)
            return found;
        Sleep(50);
    }
    return 0;
}

bool isGone(DWORD id, DWORD waitMs = 2000)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process)
        return true;
    const bool gone = WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return gone;
}

void processTree(const std::wstring &self)
{
    // Our cmd.exe starts another cmd.exe, which starts a sleeper.
    const Child cmd = start(L"cmd.exe /d /c cmd.exe /d /c \"" + self + L"\" sleep");
    check(cmd.handle != nullptr, "cmd.exe starts");
    if (!cmd.handle)
        return;
    const DWORD inner = childOf(cmd.id, L"cmd.exe");
    check(inner != 0, "the outer cmd.exe has started the inner one");
    const DWORD sleeper = inner ? childOf(inner, L"tst_winhelpers.exe") : 0;
    check(sleeper != 0, "the inner cmd.exe has started the sleeper");

    const unsigned long long started = WinProcessTree::startTime(cmd.id);
    check(started != 0, "a running cmd.exe has a start time");
    check(WinProcessTree::isOurInterpreter(cmd.id, started), "a cmd.exe we started is ours");
    check(!WinProcessTree::isOurInterpreter(cmd.id, started + 1), "one of ours started at another time is not");
    check(!WinProcessTree::isOurInterpreter(inner, WinProcessTree::startTime(inner)),
          "a cmd.exe someone else started is not");
    check(!WinProcessTree::isOurInterpreter(sleeper, WinProcessTree::startTime(sleeper)),
          "a program that is no cmd.exe is not");
    check(!WinProcessTree::isOurInterpreter(GetCurrentProcessId(), WinProcessTree::startTime(GetCurrentProcessId())),
          "we are not");

    // Ending checks first, on the handle it ends through: none of these is ours.
    check(!WinProcessTree::endOurInterpreter(cmd.id, started + 1), "one of ours started at another time is not ended");
    check(!WinProcessTree::endOurInterpreter(inner, WinProcessTree::startTime(inner)),
          "a cmd.exe someone else started is not ended");
    check(!WinProcessTree::endOurInterpreter(sleeper, WinProcessTree::startTime(sleeper)),
          "a program that is no cmd.exe is not ended");
    check(WaitForSingleObject(cmd.handle, 0) == WAIT_TIMEOUT && !isGone(inner, 0) && !isGone(sleeper, 0),
          "all three still run after the refused ends");

    check(WinProcessTree::endOurInterpreter(cmd.id, started), "ours is ended");
    check(WaitForSingleObject(cmd.handle, 2000) == WAIT_OBJECT_0, "the outer cmd.exe has ended");
    check(isGone(inner), "the inner cmd.exe has ended");
    check(isGone(sleeper), "the sleeper has ended");
    check(!WinProcessTree::isOurInterpreter(cmd.id, started), "an ended cmd.exe is no longer ours");
    check(!WinProcessTree::endOurInterpreter(cmd.id, started), "an ended cmd.exe is not ended again");
    CloseHandle(cmd.handle);
}

// Every process named `name` but ourselves, waiting up
// to 10 s for `count` of them.
std::vector<DWORD> othersNamed(const wchar_t *name, size_t count)
{
    std::vector<DWORD> found;
    for (int tries = 0; tries < 200 && found.size() < count; ++tries) {
        if (tries)
            Sleep(50);
        found.clear();
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ProcessID != GetCurrentProcessId() && _wcsicmp(entry.szExeFile, name) == 0)
                found.push_back(entry.th32ProcessID);
        }
        CloseHandle(snapshot);
    }
    return found;
}

void lanesStartedInBackground(const std::wstring &self)
{
    // A purge's script starts its lanes with start /b, which wine's cmd.exe
    // does through start.exe: a lane is then no child of the script's.
    const Child cmd = start(L"cmd.exe /d /c start \"\" /b cmd.exe /d /c \"" + self + L"\" sleep & \"" + self
                                    + L"\" sleep",
                            CREATE_SUSPENDED);
    check(cmd.handle != nullptr, "cmd.exe starts suspended");
    if (!cmd.handle)
        return;
    const unsigned long long started = WinProcessTree::startTime(cmd.id);
    check(WinProcessTree::adopt(cmd.id), "taken into a job, it runs");
    const std::vector<DWORD> sleepers = othersNamed(L"tst_winhelpers.exe", 2);
    check(sleepers.size() == 2, "the script and its lane each sleep");
    check(WinProcessTree::endOurInterpreter(cmd.id, started), "the script is ended");
    bool gone = true;
    for (const DWORD sleeper : sleepers)
        gone = isGone(sleeper) && gone;
    check(gone, "its lane and what that started are ended with it");
    CloseHandle(cmd.handle);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc == 2 && std::wstring(argv[1]) == L"sleep") {
        Sleep(30000);
        return 0;
    }
    if (argc == 2 && std::wstring(argv[1]) == L"codepages") {
        std::printf("%u %u\n", GetACP(), GetOEMCP());
        return 0;
    }
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    codePages();
    processTree(self);
    lanesStartedInBackground(self);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
