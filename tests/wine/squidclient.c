/* A stand-in for squidclient.exe in the wine tests. It talks to no server: it
 * appends its arguments, as Windows handed them over (GetCommandLineW parsed by
 * CommandLineToArgvW), to argv.log beside itself: the count, then argv[0] and
 * every argument, each in UTF-8 and ended by a NUL. Then it answers on both
 * output streams, as the real client writes its errors to standard error, so the
 * script's redirection is checked too. While a file named "hold" lies beside it,
 * it waits before answering, as a slow server keeps the real one: a test can
 * then change things under a script that is still running. Several may run at
 * once: each call goes to the log in one write to a handle that appends, one
 * stand-in at a time, so no record is cut into or written over by another's.
 *
 * Built with QUELLORY_STANDIN_CURL it stands in for the system folder's
 * curl.exe, which every run shares: it then keeps argv.log and looks for "hold"
 * in its working folder, the application folder cmd.exe runs the script in.
 * The value of a "-K" it logs as "config:" and that config file's text (read
 * in the ANSI code page, without its last line end), since the file is gone
 * once the script has ended.
 *
 * Unless the "-K" pair comes last: then, as a lane of a purge runs it, the
 * config file holds the requests, read as curl reads it (a quoted value with
 * its backslash escapes, "next" between operations). Each operation is logged
 * as a call of its own: the arguments before "-K", then the command line that
 * asks for the same (-i, -g, -x, -H, -X, -m, --request-target, the URL, any
 * other option as --name and its value). Its answer goes to its output file,
 * or to standard output, and then its write-out, with the status 200. The
 * "hold" wait comes once, before the first answer. While a file named "fail"
 * lies in the working folder every operation fails, as a server that cannot
 * be reached makes curl's: it is logged all the same, but has no answer, the
 * status 000 and curl's error line on standard error. */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

/* The folder of argv.log, "hold" and "fail", and a name in it. */
static wchar_t path[32768];
static wchar_t *slash;

static const wchar_t *beside(const wchar_t *name)
{
    wcscpy(slash + 1, name);
    return path;
}

static int lies_there(const wchar_t *name)
{
    return GetFileAttributesW(beside(name)) != INVALID_FILE_ATTRIBUTES;
}

/* The call being logged: its arguments, each ended by a NUL, and how many. */
static char record[1 << 20];
static size_t record_size;
static int record_count;
static char last[65536];

static void arg(const char *text, size_t size)
{
    if (record_size + size + 1 > sizeof record || size >= sizeof last)
        exit(3);
    memcpy(record + record_size, text, size);
    record[record_size + size] = 0;
    record_size += size + 1;
    memcpy(last, text, size);
    last[size] = 0;
    ++record_count;
}

/* UTF-16, or text in the ANSI code page (the config file's), as a UTF-8 argument. */
static void arg_wide(const wchar_t *text, int length)
{
    static char bytes[65536 * 3];
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, sizeof bytes, NULL, NULL);
    if (size == 0 && length != 0)
        exit(3);
    arg(bytes, (size_t)size);
}


/* A whole record in one write, so that stand-ins running at once never cut
 * into each other's. Windows appends where the file ends as the write is made;
 * wine looks at the size first and then writes there, so two could write at
 * one offset: the mutex, which all of wine's processes share, lets one write
 * at a time. */
static void log_call(void)
{
    static char out[sizeof record + 16];
    const int head = snprintf(out, 16, "%d", record_count - 1) + 1;
    memcpy(out + head, record, record_size);
    HANDLE file = CreateFileW(beside(L"argv.log"), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    HANDLE one_at_a_time = CreateMutexW(NULL, FALSE, L"Local\\QuelloryStandInArgvLog");
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !one_at_a_time || WaitForSingleObject(one_at_a_time, INFINITE) == WAIT_FAILED
        || !WriteFile(file, out, (DWORD)(head + record_size), &written, NULL))
        exit(2);
    ReleaseMutex(one_at_a_time);
    CloseHandle(one_at_a_time);
    CloseHandle(file);
}

static size_t read_file(const wchar_t *name, char *into, size_t room)
{
    FILE *file = _wfopen(name, L"rb");
    if (!file)
        return (size_t)-1;
    const size_t got = fread(into, 1, room, file);
    fclose(file);
    return got;
}

static void wait_while_held(void)
{
    for (int waited = 0; waited < 120000 && lies_there(L"hold"); waited += 20)
        Sleep(20);
}

#ifdef QUELLORY_STANDIN_CURL
static void arg_ansi(const char *text, size_t size)
{
    static wchar_t wide[65536];
    const int length = size ? MultiByteToWideChar(CP_ACP, 0, text, (int)size, wide, 65536) : 0;
    arg_wide(wide, length);
}

/* One operation of a lane's config file ends: it is logged after the options
 * of the command line, then answered to its output file or standard output,
 * and its write-out follows there. */
static void run_operation(int head_count, const char *output, const char *write_out, int *held)
{
    log_call();
    if (!*held) {
        wait_while_held();
        *held = 1;
    }
    const int failed = lies_there(L"fail");
    if (failed) {
        fputs("curl: (7) stand-in failure\n", stderr);
    } else {
        FILE *to = *output ? fopen(output, "wb") : stdout;
        if (!to)
            exit(4);
        fprintf(to, "answer for %s\n", last);
        if (to != stdout)
            fclose(to);
    }
    for (const char *c = write_out; *c; ++c) {
        if (strncmp(c, "%{http_code}", 12) == 0) {
            fputs(failed ? "000" : "200", stdout);
            c += 11;
        } else {
            fputc(*c, stdout);
        }
    }
    fflush(stdout);
    /* The next one starts from the command line's options again. */
    record_size = 0;
    record_count = 0;
    for (int i = 0; i < head_count; ++i) {
        const size_t size = strlen(record + record_size);
        record_size += size + 1;
        ++record_count;
    }
}

/* The operations of config file, read as curl reads it, each a call of its own. */
static int run_config(const wchar_t *config)
{
    static char text[1 << 22];
    size_t size = read_file(config, text, sizeof text - 1);
    if (size == (size_t)-1)
        return 26;
    text[size] = 0;
    const int head_count = record_count;
    static char value[65536], output[65536], write_out[65536];
    output[0] = write_out[0] = 0;
    int options = 0, held = 0;
    for (char *line = text; *line;) {
        char *end = strchr(line, '\n');
        char *next = end ? end + 1 : line + strlen(line);
        if (!end)
            end = next;
        line += strspn(line, " \t");
        const size_t name_size = strcspn(line, " \t=:\r\n");
        char *v = line + name_size;
        v += strspn(v, " \t=:");
        size_t value_size = 0;
        if (*v == '"') {
            for (++v; v < end && *v != '"'; ++v) {
                char c = *v;
                if (c == '\\' && ++v < end) {
                    c = *v == 't' ? '\t' : *v == 'n' ? '\n' : *v == 'r' ? '\r' : *v == 'v' ? '\v' : *v;
                }
                value[value_size++] = c;
            }
        } else {
            value_size = strcspn(v, " \t\r\n");
            memcpy(value, v, value_size);
        }
        value[value_size] = 0;
#define IS(word) (name_size == strlen(word) && strncmp(line, word, name_size) == 0)
        if (name_size == 0 || *line == '#') {
        } else if (IS("next")) {
            if (options)
                run_operation(head_count, output, write_out, &held);
            output[0] = write_out[0] = 0;
            options = 0;
        } else {
            options = 1;
            if (IS("include") || IS("globoff")) {
                arg(IS("include") ? "-i" : "-g", 2);
            } else if (IS("output")) {
                strcpy(output, value);
            } else if (IS("write-out")) {
                strcpy(write_out, value);
            } else {
                const char *flag = IS("proxy") ? "-x" : IS("header") ? "-H" : IS("request") ? "-X"
                                 : IS("max-time") ? "-m" : IS("request-target") ? "--request-target" : NULL;
                if (flag) {
                    arg(flag, strlen(flag));
                } else if (!IS("url")) {
                    char option[256];
                    snprintf(option, sizeof option, "--%.*s", (int)name_size, line);
                    arg(option, strlen(option));
                }
                arg_ansi(value, value_size);
            }
        }
#undef IS
        line = next;
    }
    if (options)
        run_operation(head_count, output, write_out, &held);
    return 0;
}
#endif

int main(void)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
#ifdef QUELLORY_STANDIN_CURL
    DWORD length = GetCurrentDirectoryW(32768 - 16, path);
    if (length > 0 && path[length - 1] != L'\\')
        wcscpy(path + length++, L"\\");
#else
    const DWORD length = GetModuleFileNameW(NULL, path, 32768 - 16);
#endif
    slash = wcsrchr(path, L'\\');
    if (!argv || length == 0 || !slash)
        return 2;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    for (int i = 0; i < argc; ++i) {
#ifdef QUELLORY_STANDIN_CURL
        if (i == argc - 2 && wcscmp(argv[i], L"-K") == 0)
            return run_config(argv[i + 1]);
#endif
        if (i > 0 && wcscmp(argv[i - 1], L"-K") == 0) {
            static char config[65536];
            size_t got = read_file(argv[i], config + 7, sizeof config - 8);
            memcpy(config, "config:", 7);
            if (got == (size_t)-1) {
                arg("config:(none)", 13);
                continue;
            }
            while (got > 0 && (config[6 + got] == '\n' || config[6 + got] == '\r'))
                --got;
            static wchar_t wide[65536];
            const int text = MultiByteToWideChar(CP_ACP, 0, config, (int)(7 + got), wide, 65536);
            arg_wide(wide, text);
            continue;
        }
        arg_wide(argv[i], (int)wcslen(argv[i]));
    }
    log_call();
    /* A purge's listing of the cache's objects comes before the lanes a test holds. */
    if (!wcsstr(GetCommandLineW(), L"/squid-internal-mgr/objects"))
        wait_while_held();
    printf("answer for %s\n", last);
    fflush(stdout);
    fputs("stand-in error\n", stderr);
    return 0;
}
