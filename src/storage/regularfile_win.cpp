#include "storage/regularfile.h"

#include "storage/regularfile_p.h"

#include <QString>

#include <windows.h>

// RegularFile on Windows: a HANDLE from CreateFileW, locked with LockFileEx.

using namespace RegularFileCommon;

namespace {
HANDLE native(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}
} // namespace

RegularFile::RegularFile(const QString &path, Mode mode, const QString &operation)
    : m_path(path)
    , m_operation(operation)
    , m_mode(mode)
{
    const DWORD access = mode == Mode::Read ? GENERIC_READ
            : mode == Mode::Append          ? GENERIC_READ | GENERIC_WRITE
                                            : GENERIC_WRITE;
    const DWORD disposition = mode == Mode::Read ? OPEN_EXISTING : OPEN_ALWAYS;
    // Another program that opened it without sharing is waited for a while.
    DWORD error = ERROR_SUCCESS;
    const bool answered = tryForAWhile([&] {
        m_handle = reinterpret_cast<qintptr>(CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()), access,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
        error = GetLastError();
        return native(m_handle) != INVALID_HANDLE_VALUE || error != ERROR_SHARING_VIOLATION;
    });
    if (!answered)
        fail(heldByAnother());
    if (native(m_handle) == INVALID_HANDLE_VALUE)
        fail(qt_error_string(int(error)));
    // The destructor does not run for a constructor that throws.
    const auto refuse = [this](const QString &reason) {
        CloseHandle(native(m_handle));
        m_handle = -1;
        fail(reason);
    };
    if (GetFileType(native(m_handle)) != FILE_TYPE_DISK)
        refuse(notOrdinary());
    if (mode == Mode::Write && !SetEndOfFile(native(m_handle)))
        refuse(qt_error_string());
}

RegularFile::~RegularFile()
{
    if (native(m_handle) != INVALID_HANDLE_VALUE)
        CloseHandle(native(m_handle));
}

qint64 RegularFile::size() const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(native(m_handle), &size))
        fail(qt_error_string());
    return size.QuadPart;
}

void RegularFile::lock()
{
    // A lock on Windows is mandatory: nobody else writes into the range while we
    // hold it, so the end of the file stays where we find it.
    DWORD error = ERROR_SUCCESS;
    const bool answered = tryForAWhile([&] {
        OVERLAPPED whole = {};
        if (LockFileEx(native(m_handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                       &whole)) {
            error = ERROR_SUCCESS;
            return true;
        }
        error = GetLastError();
        return error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING;
    });
    if (!answered)
        fail(heldByAnother());
    if (error != ERROR_SUCCESS)
        fail(qt_error_string(int(error)));
}

qint64 RegularFile::read(char *data, qint64 size, qint64 offset)
{
    OVERLAPPED at = {};
    if (offset >= 0) {
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(quint64(offset) >> 32);
    }
    DWORD got = 0;
    const DWORD want = DWORD(qMin<qint64>(size, 1 << 30));
    if (!ReadFile(native(m_handle), data, want, &got, offset >= 0 ? &at : nullptr)
        && GetLastError() != ERROR_HANDLE_EOF)
        fail(qt_error_string());
    return got;
}

void RegularFile::writeAll(const QByteArray &bytes)
{
    qint64 start = 0;
    if (m_mode == Mode::Append) {
        start = size();
        LARGE_INTEGER to;
        to.QuadPart = start;
        if (!SetFilePointerEx(native(m_handle), to, nullptr, FILE_BEGIN))
            fail(qt_error_string());
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(native(m_handle), bytes.constData() + done, DWORD(qMin<qint64>(bytes.size() - done, 1 << 30)),
                       &n, nullptr)
            || n == 0) {
            const QString reason = qt_error_string();
            if (m_mode == Mode::Append && done > 0)
                failAppend(reason);
            fail(reason);
        }
        done += n;
        if (m_mode == Mode::Append) {
            // The lock keeps other writers out of the range: ours stay one piece.
            m_appendStart = start;
            m_appendEnd = start + done;
        }
    }
}

bool RegularFile::cutBack(qint64 from, qint64 to)
{
    LARGE_INTEGER at;
    at.QuadPart = from;
    LARGE_INTEGER size;
    return GetFileSizeEx(native(m_handle), &size) && size.QuadPart == to
            && SetFilePointerEx(native(m_handle), at, nullptr, FILE_BEGIN) && SetEndOfFile(native(m_handle));
}

void RegularFile::close()
{
    if (m_mode == Mode::Append && m_appendStart >= 0 && !FlushFileBuffers(native(m_handle)))
        failAppend(qt_error_string());
    const HANDLE handle = native(m_handle);
    m_handle = -1;
    if (!CloseHandle(handle))
        fail(qt_error_string());
}
