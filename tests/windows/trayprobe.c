/* What the system tray shows, seen from outside as the operator sees it, for the
 * wine check of the packaged program.
 *
 *   trayprobe balloon   prints the shown balloon's title and text, in UTF-8 on
 *                       two lines; exits 1 while no balloon shows
 *   trayprobe click     tells the program's tray icon that its balloon was
 *                       clicked, as Windows does (wine's tray never does)
 *
 * The balloon belongs to the tray's process (wine's explorer.exe), so its title
 * is asked for through memory lent in that process. */
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>

static HWND balloon;

static BOOL CALLBACK findBalloon(HWND window, LPARAM unused)
{
    (void)unused;
    wchar_t name[64];
    if (GetClassNameW(window, name, 64) && !wcscmp(name, TOOLTIPS_CLASSW) && IsWindowVisible(window)
        && (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON)) {
        balloon = window;
        return FALSE;
    }
    return TRUE;
}

static void print(const wchar_t *text)
{
    char bytes[4096];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, NULL, NULL))
        fputs(bytes, stdout);
    fputc('\n', stdout);
}

static int showBalloon(void)
{
    EnumWindows(findBalloon, 0);
    if (!balloon)
        return 1;
    static wchar_t text[1024];
    SendMessageW(balloon, WM_GETTEXT, 1024, (LPARAM)text);

    wchar_t title[128] = L"";
    DWORD pid = 0;
    GetWindowThreadProcessId(balloon, &pid);
    HANDLE tray = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    char *lent = tray ? VirtualAllocEx(tray, NULL, 4096, MEM_COMMIT, PAGE_READWRITE) : NULL;
    if (!lent)
        return 2;
    TTGETTITLE ask = {sizeof ask, 0, 128, (WCHAR *)(lent + sizeof ask)};
    if (!WriteProcessMemory(tray, lent, &ask, sizeof ask, NULL))
        return 2;
    SendMessageW(balloon, TTM_GETTITLE, 0, (LPARAM)lent);
    ReadProcessMemory(tray, lent + sizeof ask, title, sizeof title - sizeof(wchar_t), NULL);
    VirtualFreeEx(tray, lent, 0, MEM_RELEASE);
    print(title);
    print(text);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && !strcmp(argv[1], "balloon"))
        return showBalloon();
    if (argc == 2 && !strcmp(argv[1], "click")) {
        // Qt's tray icon window, its callback message and icon id (version 4).
        HWND icon = FindWindowW(NULL, L"QTrayIconMessageWindow");
        return icon && PostMessageW(icon, WM_APP + 101, 0, MAKELPARAM(NIN_BALLOONUSERCLICK, 0)) ? 0 : 1;
    }
    fputs("usage: trayprobe balloon|click\n", stderr);
    return 2;
}
