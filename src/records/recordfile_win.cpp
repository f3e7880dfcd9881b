// The record store's file layer on Windows: files are opened without
// following links or other reparse points, only disk files are read or
// written, and every write is flushed with FlushFileBuffers.

#include "recordfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>

#include <qt_windows.h>

#include <string>

namespace segni::records::fs {

struct Folder::Native
{
};

struct Lock::Native
{
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

Result lastError()
{
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return {FileProblem::Missing, int(error)};
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return {FileProblem::Exists, int(error)};
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
        return {FileProblem::Denied, int(error)};
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return {FileProblem::NoSpace, int(error)};
    case ERROR_WRITE_PROTECT: return {FileProblem::ReadOnlyFileSystem, int(error)};
    case ERROR_DIRECTORY: return {FileProblem::NotFolder, int(error)};
    default: return {FileProblem::Other, int(error)};
    }
}

std::wstring native(const QString &folder, const QString &name)
{
    return QDir::toNativeSeparators(folder + QLatin1Char('/') + name).toStdWString();
}

// Opens a disk file that is not a link or other reparse point; makes it
// only with CREATE_NEW or OPEN_ALWAYS.
HANDLE openFile(const std::wstring &path, DWORD access, DWORD disposition, DWORD flags,
                Result &result, bool *made = nullptr)
{
    const HANDLE handle = CreateFileW(path.c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT
                                          | FILE_FLAG_BACKUP_SEMANTICS | flags,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result = lastError();
        return handle;
    }
    if (made)
        *made = disposition == CREATE_NEW
            || (disposition == OPEN_ALWAYS && GetLastError() != ERROR_ALREADY_EXISTS);
    BY_HANDLE_FILE_INFORMATION info;
    result = {};
    if (!GetFileInformationByHandle(handle, &info))
        result = lastError();
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        result = {FileProblem::IsFolder, 0};
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        result = {FileProblem::IsLink, 0};
    else if (GetFileType(handle) != FILE_TYPE_DISK)
        result = {FileProblem::NotPlainFile, 0};
    if (result.ok())
        return handle;
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
}

// The GUID Windows gave this installation.
QByteArray machineGuid()
{
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                     RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, value, &size)
        != ERROR_SUCCESS)
        return QByteArray();
    return QString::fromWCharArray(value).toUtf8();
}

// When this machine booted, as the kernel keeps it: the same for every
// process until the next boot.
QByteArray bootTime()
{
    struct TimeOfDay
    {
        LARGE_INTEGER bootTime;
        LARGE_INTEGER currentTime;
        LARGE_INTEGER timeZoneBias;
        ULONG timeZoneId;
        ULONG reserved;
        ULONGLONG bootTimeBias;
        ULONGLONG sleepTimeBias;
    };
    using Query = LONG(WINAPI *)(int, void *, ULONG, ULONG *);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto query = ntdll ? reinterpret_cast<Query>(
                                   reinterpret_cast<void *>(GetProcAddress(ntdll, "NtQuerySystemInformation")))
                             : nullptr;
    TimeOfDay time = {};
    constexpr int kSystemTimeOfDayInformation = 3;
    if (!query || query(kSystemTimeOfDayInformation, &time, sizeof time, nullptr) < 0)
        return QByteArray();
    return QByteArray::number(time.bootTime.QuadPart);
}

Result writeAll(HANDLE handle, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.constData() + done, DWORD(bytes.size() - done), &written,
                       nullptr))
            return lastError();
        done += written;
    }
    return {};
}

} // namespace

Folder::Folder() = default;

Folder::~Folder() = default;

Result Folder::open(const QString &path)
{
    m_path = QDir::fromNativeSeparators(path);
    // A drive root keeps its separator only until a name is appended.
    while (m_path.endsWith(QLatin1Char('/')))
        m_path.chop(1);
    const DWORD attributes = GetFileAttributesW(native(m_path, QString()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {FileProblem::NotFolder, 0};
    return {};
}

Kind Folder::kind(const QString &name) const
{
    const DWORD attributes = GetFileAttributesW(native(m_path, name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
            ? Kind::Missing
            : Kind::Other;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Kind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::Folder;
    return Kind::Plain;
}

Result Folder::read(const QString &name, qint64 maxBytes, QByteArray &bytes) const
{
    Result result;
    const HANDLE handle = openFile(native(m_path, name), GENERIC_READ, OPEN_EXISTING, 0, result);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    bytes.clear();
    char buffer[4096];
    while (bytes.size() <= maxBytes) {
        DWORD n = 0;
        const bool done = ReadFile(handle, buffer, sizeof buffer, &n, nullptr);
        if (!done || n == 0) {
            result = done ? Result{} : lastError();
            CloseHandle(handle);
            return result;
        }
        bytes.append(buffer, qsizetype(std::min<qint64>(n, maxBytes + 1 - bytes.size())));
    }
    CloseHandle(handle);
    return {FileProblem::TooLarge, 0};
}

Result Folder::create(const QString &name, const QByteArray &bytes)
{
    Result result;
    const std::wstring path = native(m_path, name);
    const HANDLE handle = openFile(path, GENERIC_WRITE, CREATE_NEW, 0, result);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    if (!bytes.isEmpty())
        result = writeAll(handle, bytes);
    if (!CloseHandle(handle) && result.ok())
        result = lastError();
    // A file that did not take its bytes does not stay.
    if (!result.ok())
        DeleteFileW(path.c_str());
    else
        changed();
    return result;
}

Result Folder::write(const QString &name, const QByteArray &bytes)
{
    Result result;
    const HANDLE handle = openFile(native(m_path, name), GENERIC_WRITE, OPEN_EXISTING, 0, result);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    if (!SetEndOfFile(handle)) {
        result = lastError();
    } else {
        changed();
        result = writeAll(handle, bytes);
        if (result.ok() && !FlushFileBuffers(handle))
            result = lastError();
        changed();
    }
    if (!CloseHandle(handle) && result.ok())
        result = lastError();
    return result;
}

Result Folder::remove(const QString &name)
{
    if (!DeleteFileW(native(m_path, name).c_str()))
        return lastError();
    changed();
    return {};
}

Result Folder::move(const QString &from, const QString &to)
{
    // Without MOVEFILE_REPLACE_EXISTING, what already has the new name stays.
    if (!MoveFileExW(native(m_path, from).c_str(), native(m_path, to).c_str(), 0))
        return lastError();
    changed();
    return {};
}

Result Folder::replace(const QString &from, const QString &to)
{
    if (!MoveFileExW(native(m_path, from).c_str(), native(m_path, to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastError();
    changed();
    return {};
}

QStringList Folder::namesStartingWith(const QString &prefix) const
{
    QStringList names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(native(m_path, prefix + QLatin1Char('*')).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.append(QString::fromWCharArray(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool Folder::takesNewFiles() const
{
    // Windows tells by trying: a file made and gone again when closed.
    const QString probe = QStringLiteral(".segni-probe-%1")
                              .arg(QCoreApplication::applicationPid());
    const HANDLE handle = CreateFileW(native(m_path, probe).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY
                                          | FILE_FLAG_DELETE_ON_CLOSE,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

bool Folder::writable(const QString &name) const
{
    Result result;
    const HANDLE handle = openFile(native(m_path, name), GENERIC_WRITE, OPEN_EXISTING, 0, result);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
}

void Folder::sync()
{
    // NTFS journals the folder's own changes; there is nothing to flush.
}

Lock::Lock()
    : d(std::make_unique<Native>())
{
}

Lock::~Lock()
{
    unlock();
}

Result Lock::openFile(Folder &folder, const QString &name)
{
    Result result;
    bool made = false;
    d->handle = fs::openFile(native(folder.path(), name), GENERIC_READ | GENERIC_WRITE,
                             OPEN_ALWAYS, 0, result, &made);
    if (made && result.ok())
        changed();
    return result;
}

Lock::Try Lock::tryLock()
{
    OVERLAPPED whole = {};
    if (LockFileEx(d->handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &whole))
        return Try::Held;
    const DWORD error = GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? Try::Busy : Try::NoLocks;
}

void Lock::release()
{
    if (d->handle != INVALID_HANDLE_VALUE)
        CloseHandle(d->handle); // closing the file lets the lock go
    d->handle = INVALID_HANDLE_VALUE;
}

QByteArray hostIdentity()
{
    // Lab PCs are often clones of one image, sharing their name and even
    // their machine GUID: the moment this one booted tells them apart.
    return QSysInfo::machineHostName().toUtf8() + ' ' + machineGuid() + ' ' + bootTime();
}

bool processRunning(qint64 pid)
{
    if (pid <= 0 || pid > MAXDWORD)
        return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // there, but another account's
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

} // namespace segni::records::fs
