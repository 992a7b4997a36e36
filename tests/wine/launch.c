/* Starts a program the way Quellory's ScriptRunner does on Windows: one exact
 * command line and working directory handed to CreateProcessW, no window,
 * standard input from NUL. argv[1] is the command line, argv[2] the working
 * directory. It prints both, in UTF-8, as CreateProcessW got them, waits for the
 * program and exits with its exit code (100 and up: the launcher failed). */
#include <windows.h>

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>

static void printUtf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char *bytes = malloc((size_t)size);
    if (!bytes || !WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, size, NULL, NULL))
        exit(101);
    fwrite(bytes, 1, (size_t)size, stdout); /* with its NUL, as a separator */
    free(bytes);
}

int main(void)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 100;
    printUtf8(argv[1]);
    printUtf8(argv[2]);
    fflush(stdout);

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE nul
            = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, NULL);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, argv[1], NULL, NULL, TRUE, CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, NULL, argv[2],
                        &startup, &process))
        return 102;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 103;
    GetExitCodeProcess(process.hProcess, &code);
    return (int)code;
}
