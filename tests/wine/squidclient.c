/* A stand-in for squidclient.exe in the wine tests. It talks to no server: it
 * appends its arguments, as Windows handed them over (GetCommandLineW parsed by
 * CommandLineToArgvW), to argv.log beside itself: the count, then argv[0] and
 * every argument, each in UTF-8 and ended by a NUL. Then it answers on both
 * output streams, as the real client writes its errors to standard error, so the
 * script's redirection is checked too. While a file named "hold" lies beside it,
 * it waits before answering, as a slow server keeps the real one: a test can
 * then change things under a script that is still running.
 *
 * Built with QUELLORY_STANDIN_CURL it stands in for the system folder's
 * curl.exe, which every run shares: it then keeps argv.log and looks for "hold"
 * in its working folder, the application folder cmd.exe runs the script in.
 * The value of a "-K" it logs as "config:" and that config file's text (read
 * in the ANSI code page, without its last line end), since the file is gone
 * once the script has ended. */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static char *utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char *bytes = malloc((size_t)size);
    if (!bytes || !WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, size, NULL, NULL))
        exit(3);
    return bytes;
}

int main(void)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    static wchar_t log[32768];
#ifdef QUELLORY_STANDIN_CURL
    DWORD length = GetCurrentDirectoryW(32768 - 16, log);
    if (length > 0 && log[length - 1] != L'\\')
        wcscpy(log + length++, L"\\");
#else
    const DWORD length = GetModuleFileNameW(NULL, log, 32768 - 16);
#endif
    wchar_t *slash = wcsrchr(log, L'\\');
    if (!argv || length == 0 || !slash)
        return 2;
    wcscpy(slash + 1, L"argv.log");

    FILE *file = _wfopen(log, L"ab");
    if (!file)
        return 2;
    fprintf(file, "%d", argc - 1);
    fputc(0, file);
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && wcscmp(argv[i - 1], L"-K") == 0) {
            static char bytes[65536];
            static wchar_t text[65536];
            size_t got = 0;
            FILE *config = _wfopen(argv[i], L"rb");
            if (config) {
                got = fread(bytes, 1, sizeof bytes - 1, config);
                fclose(config);
            }
            while (got > 0 && (bytes[got - 1] == '\n' || bytes[got - 1] == '\r'))
                --got;
            const int wide = got ? MultiByteToWideChar(CP_ACP, 0, bytes, (int)got, text, 65535) : 0;
            text[wide] = 0;
            char *content = utf8(text);
            fprintf(file, "config:%s", config ? content : "(none)");
            fputc(0, file);
            free(content);
            continue;
        }
        char *arg = utf8(argv[i]);
        fputs(arg, file);
        fputc(0, file);
        free(arg);
    }
    fclose(file);

    wcscpy(slash + 1, L"hold");
    for (int waited = 0; waited < 120000 && GetFileAttributesW(log) != INVALID_FILE_ATTRIBUTES; waited += 20)
        Sleep(20);

    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    char *last = utf8(argv[argc - 1]);
    printf("answer for %s\n", last);
    fflush(stdout);
    fputs("stand-in error\n", stderr);
    return 0;
}
