#include "recordfs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#ifdef Q_OS_WIN
#include <QFile>
#include <QFileInfo>
#include <io.h>
#include <qt_windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace segni::records::fs {

namespace {

ChangeHook g_changeHook = nullptr;

void changed()
{
    if (g_changeHook)
        g_changeHook();
}

} // namespace

void setChangeHook(ChangeHook hook)
{
    g_changeHook = hook;
}

QString describe(const Result &result)
{
    switch (result.problem) {
    case Problem::None:
        return QString();
    case Problem::Missing:
        return QStringLiteral("non esiste");
    case Problem::Exists:
        return QStringLiteral("esiste già");
    case Problem::Denied:
        return QStringLiteral("permesso negato");
    case Problem::NoSpace:
        return QStringLiteral("spazio su disco esaurito");
    case Problem::ReadOnlyFileSystem:
        return QStringLiteral("il disco è di sola lettura");
    case Problem::IsFolder:
        return QStringLiteral("al suo posto c'è una cartella");
    case Problem::NotFolder:
        return QStringLiteral("non è una cartella");
    case Problem::IsLink:
        return QStringLiteral("è un collegamento simbolico, che il gioco non segue");
    case Problem::NotPlainFile:
        return QStringLiteral("non è un file normale");
    case Problem::TooLarge:
        return QStringLiteral("è troppo grande per essere un file dei record");
    case Problem::Busy:
        return QStringLiteral("un'altra copia del gioco sta registrando un record");
    case Problem::Other:
        break;
    }
    return QStringLiteral("errore del sistema (codice %1)").arg(result.code);
}

#ifndef Q_OS_WIN

namespace {

Result fromErrno(int error)
{
    switch (error) {
    case 0:
        return {};
    case ENOENT:
        return {Problem::Missing, error};
    case EEXIST:
        return {Problem::Exists, error};
    case EACCES:
    case EPERM:
        return {Problem::Denied, error};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {Problem::NoSpace, error};
    case EROFS:
        return {Problem::ReadOnlyFileSystem, error};
    case EISDIR:
        return {Problem::IsFolder, error};
    case ENOTDIR:
        return {Problem::NotFolder, error};
    case ELOOP:
        return {Problem::IsLink, error};
    case ENXIO:
    case ENODEV:
        return {Problem::NotPlainFile, error};
    default:
        return {Problem::Other, error};
    }
}

Result lastError()
{
    return fromErrno(errno);
}

QByteArray nameBytes(const QString &name)
{
    return QFile::encodeName(name);
}

Result notPlain(const struct stat &st)
{
    return {S_ISDIR(st.st_mode) ? Problem::IsFolder : Problem::NotPlainFile, 0};
}

Result writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        done += n;
    }
    return {};
}

// Reads at most maxBytes + 1 bytes from the start of fd.
Result readBounded(int fd, qint64 maxBytes, QByteArray &bytes)
{
    bytes.clear();
    char buffer[4096];
    while (bytes.size() <= maxBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            return {};
        bytes.append(buffer, qsizetype(std::min<qint64>(n, maxBytes + 1 - bytes.size())));
    }
    return {Problem::TooLarge, 0};
}

// Opens an existing plain file inside the folder, never through a link and
// never blocking on a pipe or a device.
int openPlain(int dirFd, const QString &name, int flags, Result &result)
{
    const int fd = ::openat(dirFd, nameBytes(name).constData(),
                            flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result = lastError();
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        result = lastError();
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        result = notPlain(st);
        ::close(fd);
        return -1;
    }
    result = {};
    return fd;
}

// The mode of a file just made: that of likeName when it is a plain file,
// and group-writable whenever the folder is.
void settleMode(int dirFd, int fd, const QString &likeName)
{
    struct stat own, dir, like;
    if (::fstat(fd, &own) != 0 || ::fstat(dirFd, &dir) != 0)
        return;
    mode_t mode = own.st_mode & 0666;
    if (!likeName.isEmpty()
        && ::fstatat(dirFd, nameBytes(likeName).constData(), &like, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(like.st_mode))
        mode = like.st_mode & 0666;
    if (dir.st_mode & S_IWGRP)
        mode |= S_IRGRP | S_IWGRP;
    // Whoever may look into the folder may read the record, whatever this
    // pupil's umask.
    if (dir.st_mode & S_IROTH)
        mode |= S_IROTH;
    if (dir.st_mode & S_IRGRP)
        mode |= S_IRGRP;
    if (mode != (own.st_mode & 07777))
        ::fchmod(fd, mode);
}

// A new file, made exclusively so that nothing already there (a link
// above all) is ever opened.
int createNew(int dirFd, const QString &name, const QString &likeName, Result &result)
{
    const int fd = ::openat(dirFd, nameBytes(name).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        result = lastError();
        return -1;
    }
    changed();
    settleMode(dirFd, fd, likeName);
    result = {};
    return fd;
}

int nativeHandle(qintptr handle)
{
    return int(handle);
}

void closeHandle(qintptr handle)
{
    ::close(nativeHandle(handle));
}

Result replaceContent(int fd, const QByteArray &bytes)
{
    if (::ftruncate(fd, 0) != 0)
        return lastError();
    changed();
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return lastError();
    Result result = writeAll(fd, bytes);
    if (result.ok() && ::fdatasync(fd) != 0)
        result = lastError();
    changed();
    return result;
}

} // namespace

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Result Folder::open(const QString &path)
{
    m_path = path;
    while (m_path.size() > 1 && m_path.endsWith(QLatin1Char('/')))
        m_path.chop(1);
    m_fd = ::open(nameBytes(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_fd < 0 ? lastError() : Result{};
}

Kind Folder::kind(const QString &name) const
{
    struct stat st;
    if (::fstatat(m_fd, nameBytes(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Other;
    if (S_ISLNK(st.st_mode))
        return Kind::Link;
    if (S_ISDIR(st.st_mode))
        return Kind::Folder;
    return S_ISREG(st.st_mode) ? Kind::Plain : Kind::Other;
}

Result Folder::read(const QString &name, qint64 maxBytes, QByteArray &bytes) const
{
    Result result;
    const int fd = openPlain(m_fd, name, O_RDONLY, result);
    if (fd < 0)
        return result;
    result = readBounded(fd, maxBytes, bytes);
    ::close(fd);
    return result;
}

Result Folder::createEmpty(const QString &name)
{
    Result result;
    const int fd = createNew(m_fd, name, QString(), result);
    if (fd >= 0)
        ::close(fd);
    return result;
}

Result Folder::writeNew(const QString &name, const QByteArray &bytes, const QString &likeName)
{
    Result result;
    const int fd = createNew(m_fd, name, likeName, result);
    if (fd < 0)
        return result;
    result = writeAll(fd, bytes);
    if (result.ok() && ::fdatasync(fd) != 0)
        result = lastError();
    changed();
    if (::close(fd) != 0 && result.ok())
        result = lastError();
    if (!result.ok())
        remove(name);
    return result;
}

Result Folder::rename(const QString &from, const QString &to)
{
    if (::renameat(m_fd, nameBytes(from).constData(), m_fd, nameBytes(to).constData()) != 0)
        return lastError();
    changed();
    return {};
}

qintptr Folder::openForUpdate(const QString &name, Result &result) const
{
    return openPlain(m_fd, name, O_RDWR, result);
}

bool Folder::mayReplace(const QString &name) const
{
    struct stat dir, st;
    const uid_t me = ::geteuid();
    if (me == 0 || ::fstat(m_fd, &dir) != 0 || !(dir.st_mode & S_ISVTX) || dir.st_uid == me)
        return true;
    if (::fstatat(m_fd, nameBytes(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    return st.st_uid == me;
}

Result Folder::remove(const QString &name)
{
    if (::unlinkat(m_fd, nameBytes(name).constData(), 0) != 0)
        return lastError();
    changed();
    return {};
}

bool Folder::writable(const QString &name) const
{
    const QByteArray target = name.isEmpty() ? QByteArray(".") : nameBytes(name);
    return ::faccessat(m_fd, target.constData(), W_OK, AT_EACCESS) == 0;
}

void Folder::sync()
{
    ::fsync(m_fd);
}

QStringList Folder::names() const
{
    return QDir(m_path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                  | QDir::NoDotAndDotDot);
}

Lock::~Lock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the file lets the lock go
}

Lock::State Lock::acquire(Folder &folder, const QString &name, int waitMs, Result &result)
{
    result = {};
    m_fd = createNew(folder.m_fd, name, QString(), result);
    if (m_fd < 0 && result.problem != Problem::Missing) {
        // Already there (made by any copy, any account): open it as it is.
        m_fd = openPlain(folder.m_fd, name, O_RDWR, result);
    }
    if (m_fd < 0) {
        // No lock file, and none can be made: a folder where only the
        // record files may be written, saved in place without a lock. A
        // lock file that is there but cannot be used is another matter:
        // saving without it could mix two copies' pairs.
        const bool there = folder.kind(name) != Kind::Missing;
        if (!there || (result.problem == Problem::Denied && !folder.writable()))
            result = {};
        return State::Unavailable;
    }
    // A lock of the open file itself (not of the process), so two copies
    // inside one process exclude each other too.
#ifdef F_OFD_SETLK
    const int command = F_OFD_SETLK;
#else
    const int command = F_SETLK;
#endif
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        struct flock request = {};
        request.l_type = F_WRLCK;
        request.l_whence = SEEK_SET;
        if (::fcntl(m_fd, command, &request) == 0)
            return State::Held;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            // No locks on this file system (a network share mounted
            // without them): save without one.
            ::close(m_fd);
            m_fd = -1;
            return State::Unavailable;
        }
        if (waited.elapsed() >= waitMs)
            break;
        QThread::msleep(10);
    }
    ::close(m_fd);
    m_fd = -1;
    result = {Problem::Busy, 0};
    return State::Busy;
}

#else // Q_OS_WIN

namespace {

Result fromWinError(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {Problem::Missing, int(error)};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return {Problem::Exists, int(error)};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return {Problem::Denied, int(error)};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return {Problem::NoSpace, int(error)};
    case ERROR_WRITE_PROTECT:
        return {Problem::ReadOnlyFileSystem, int(error)};
    case ERROR_DIRECTORY:
        return {Problem::NotFolder, int(error)};
    default:
        return {Problem::Other, int(error)};
    }
}

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Opens a file that is not a link or other reparse point; creates it only
// when creating.
HANDLE openHandle(const QString &path, DWORD access, DWORD disposition, Result &result)
{
    const HANDLE handle = CreateFileW(native(path).c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT
                                          | FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result = fromWinError(GetLastError());
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        result = fromWinError(GetLastError());
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
        result = {(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Problem::IsFolder
                                                                     : Problem::IsLink,
                  0};
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        result = {Problem::NotPlainFile, 0};
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    result = {};
    return handle;
}

Result writeAll(HANDLE handle, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.constData() + done, DWORD(bytes.size() - done), &written,
                       nullptr))
            return fromWinError(GetLastError());
        done += written;
    }
    if (!FlushFileBuffers(handle))
        return fromWinError(GetLastError());
    return {};
}

Result readBounded(HANDLE handle, qint64 maxBytes, QByteArray &bytes)
{
    bytes.clear();
    char buffer[4096];
    while (bytes.size() <= maxBytes) {
        DWORD n = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &n, nullptr))
            return fromWinError(GetLastError());
        if (n == 0)
            return {};
        bytes.append(buffer, qsizetype(std::min<qint64>(n, maxBytes + 1 - bytes.size())));
    }
    return {Problem::TooLarge, 0};
}

HANDLE nativeHandle(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

void closeHandle(qintptr handle)
{
    CloseHandle(nativeHandle(handle));
}

Result replaceContent(HANDLE handle, const QByteArray &bytes)
{
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(handle))
        return fromWinError(GetLastError());
    changed();
    const Result result = writeAll(handle, bytes);
    changed();
    return result;
}

} // namespace

Folder::~Folder() = default;

Result Folder::open(const QString &path)
{
    m_path = QDir::fromNativeSeparators(path);
    while (m_path.endsWith(QLatin1Char('/')) && !m_path.endsWith(QLatin1String(":/")))
        m_path.chop(1);
    const QFileInfo info(m_path);
    if (!info.exists())
        return {Problem::Missing, 0};
    if (!info.isDir())
        return {Problem::NotFolder, 0};
    if (m_path.endsWith(QLatin1Char('/')))
        m_path.chop(1); // a drive root: "C:" + "/" + name
    return {};
}

Kind Folder::kind(const QString &name) const
{
    const DWORD attributes = GetFileAttributesW(native(file(name)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Kind::Missing : Kind::Other;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Kind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::Folder;
    return Kind::Plain;
}

Result Folder::read(const QString &name, qint64 maxBytes, QByteArray &bytes) const
{
    Result result;
    const HANDLE handle = openHandle(file(name), GENERIC_READ, OPEN_EXISTING, result);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    result = readBounded(handle, maxBytes, bytes);
    CloseHandle(handle);
    return result;
}

Result Folder::createEmpty(const QString &name)
{
    Result result;
    const HANDLE handle = openHandle(file(name), GENERIC_WRITE, CREATE_NEW, result);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    changed();
    CloseHandle(handle);
    return result;
}

Result Folder::writeNew(const QString &name, const QByteArray &bytes, const QString &)
{
    Result result;
    const HANDLE handle = openHandle(file(name), GENERIC_WRITE, CREATE_NEW, result);
    if (handle == INVALID_HANDLE_VALUE)
        return result;
    changed();
    result = writeAll(handle, bytes);
    changed();
    CloseHandle(handle);
    if (!result.ok())
        remove(name);
    return result;
}

Result Folder::rename(const QString &from, const QString &to)
{
    if (!MoveFileExW(native(file(from)).c_str(), native(file(to)).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fromWinError(GetLastError());
    changed();
    return {};
}

bool Folder::mayReplace(const QString &) const
{
    return true;
}

qintptr Folder::openForUpdate(const QString &name, Result &result) const
{
    const HANDLE handle = openHandle(file(name), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, result);
    return handle == INVALID_HANDLE_VALUE ? -1 : qintptr(handle);
}

Result Folder::remove(const QString &name)
{
    if (!DeleteFileW(native(file(name)).c_str()))
        return fromWinError(GetLastError());
    changed();
    return {};
}

bool Folder::writable(const QString &name) const
{
    // Windows tells by trying: a folder that takes no new file, or a
    // read-only file, fails the save with its own reason.
    return name.isEmpty() || !QFileInfo(file(name)).isFile() || QFileInfo(file(name)).isWritable();
}

void Folder::sync()
{
}

QStringList Folder::names() const
{
    return QDir(m_path + QLatin1Char('/'))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

Lock::~Lock()
{
    if (m_handle)
        CloseHandle(m_handle); // closing the file lets the lock go
}

Lock::State Lock::acquire(Folder &folder, const QString &name, int waitMs, Result &result)
{
    HANDLE handle = openHandle(folder.file(name), GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, result);
    if (handle == INVALID_HANDLE_VALUE) {
        const bool there = folder.kind(name) != Kind::Missing;
        if (!there || result.problem == Problem::Denied)
            result = {};
        return State::Unavailable;
    }
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        OVERLAPPED whole = {};
        if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                       MAXDWORD, &whole)) {
            m_handle = handle;
            return State::Held;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
            CloseHandle(handle);
            return State::Unavailable;
        }
        if (waited.elapsed() >= waitMs)
            break;
        QThread::msleep(10);
    }
    CloseHandle(handle);
    result = {Problem::Busy, 0};
    return State::Busy;
}

#endif

// ---- Both platforms ----

Result Folder::overwrite(const QString &name, const QByteArray &bytes)
{
    Result result;
    const qintptr handle = openForUpdate(name, result);
    if (handle == -1)
        return result;
    result = replaceContent(nativeHandle(handle), bytes);
    closeHandle(handle);
    return result;
}

Result Folder::overwritePair(const QString &first, const QByteArray &firstBytes,
                             const QString &second, const QByteArray &secondBytes,
                             qint64 maxBytes)
{
    Result result;
    const qintptr a = openForUpdate(first, result);
    if (a == -1)
        return result;
    const qintptr b = openForUpdate(second, result);
    if (b == -1) {
        closeHandle(a);
        return result;
    }
    QByteArray firstBefore, secondBefore;
    result = readBounded(nativeHandle(a), maxBytes, firstBefore);
    if (result.ok())
        result = readBounded(nativeHandle(b), maxBytes, secondBefore);
    if (result.ok())
        result = replaceContent(nativeHandle(a), firstBytes);
    if (result.ok()) {
        result = replaceContent(nativeHandle(b), secondBytes);
        if (!result.ok()) {
            replaceContent(nativeHandle(b), secondBefore);
            replaceContent(nativeHandle(a), firstBefore);
        }
    }
    closeHandle(b);
    closeHandle(a);
    return result;
}

} // namespace segni::records::fs
