// The record store's file layer on Unix: every call works from the
// folder's own descriptor, opens with O_NOFOLLOW and O_NONBLOCK (a pipe in
// place of a record file never hangs the game), and flushes with fdatasync.

#include "recordfile.h"

#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <limits>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace segni::records::fs {

struct Folder::Native
{
    int fd = -1;
};

struct Lock::Native
{
    int fd = -1;
};

namespace {

// A lock of the open file itself (not of the process), so two copies
// inside one process exclude each other too.
#ifdef F_OFD_SETLK
constexpr int kLockCommand = F_OFD_SETLK;
#else
constexpr int kLockCommand = F_SETLK;
#endif

Result lastError()
{
    const int error = errno;
    switch (error) {
    case ENOENT: return {FileProblem::Missing, error};
    case EEXIST: return {FileProblem::Exists, error};
    case EACCES: case EPERM: return {FileProblem::Denied, error};
    case ENOSPC: case EDQUOT: case EFBIG: return {FileProblem::NoSpace, error};
    case EROFS: return {FileProblem::ReadOnlyFileSystem, error};
    case EISDIR: return {FileProblem::IsFolder, error};
    case ENOTDIR: return {FileProblem::NotFolder, error};
    case ELOOP: return {FileProblem::IsLink, error};
    case ENXIO: case ENODEV: return {FileProblem::NotPlainFile, error};
    default: return {FileProblem::Other, error};
    }
}

QByteArray nameBytes(const QString &name)
{
    return QFile::encodeName(name);
}

// Opens an existing plain file inside the folder.
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
        result = {S_ISDIR(st.st_mode) ? FileProblem::IsFolder : FileProblem::NotPlainFile, 0};
        ::close(fd);
        return -1;
    }
    result = {};
    return fd;
}

// A new file's mode: group-writable whenever the folder is, so every
// member of the class can write it next time, and readable by whoever may
// look into the folder, whatever this pupil's umask.
void settleMode(int dirFd, int fd)
{
    struct stat own, dir;
    if (::fstat(fd, &own) != 0 || ::fstat(dirFd, &dir) != 0)
        return;
    mode_t mode = own.st_mode & 0666;
    if (dir.st_mode & S_IWGRP)
        mode |= S_IRGRP | S_IWGRP;
    mode |= dir.st_mode & (S_IRGRP | S_IROTH);
    if (mode != (own.st_mode & 07777))
        ::fchmod(fd, mode);
}

// Makes a new file exclusively, so that nothing already there (a link
// above all) is ever opened.
int createNew(int dirFd, const QString &name, Result &result)
{
    const int fd = ::openat(dirFd, nameBytes(name).constData(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        result = lastError();
        return -1;
    }
    settleMode(dirFd, fd);
    result = {};
    return fd;
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

} // namespace

Folder::Folder()
    : d(std::make_unique<Native>())
{
}

Folder::~Folder()
{
    if (d->fd >= 0)
        ::close(d->fd);
}

Result Folder::open(const QString &path)
{
    m_path = path;
    while (m_path.size() > 1 && m_path.endsWith(QLatin1Char('/')))
        m_path.chop(1);
    d->fd = ::open(nameBytes(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return d->fd < 0 ? lastError() : Result{};
}

Kind Folder::kind(const QString &name) const
{
    struct stat st;
    if (::fstatat(d->fd, nameBytes(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
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
    const int fd = openPlain(d->fd, name, O_RDONLY, result);
    if (fd < 0)
        return result;
    bytes.clear();
    char buffer[4096];
    while (bytes.size() <= maxBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            result = n < 0 ? lastError() : Result{};
            ::close(fd);
            return result;
        }
        bytes.append(buffer, qsizetype(std::min<qint64>(n, maxBytes + 1 - bytes.size())));
    }
    ::close(fd);
    return {FileProblem::TooLarge, 0};
}

Result Folder::create(const QString &name, const QByteArray &bytes)
{
    Result result;
    const int fd = createNew(d->fd, name, result);
    if (fd < 0)
        return result;
    if (!bytes.isEmpty())
        result = writeAll(fd, bytes);
    if (::close(fd) != 0 && result.ok())
        result = lastError();
    // A file that did not take its bytes does not stay.
    if (!result.ok())
        ::unlinkat(d->fd, nameBytes(name).constData(), 0);
    else
        changed();
    return result;
}

Result Folder::write(const QString &name, const QByteArray &bytes)
{
    Result result;
    const int fd = openPlain(d->fd, name, O_WRONLY, result);
    if (fd < 0)
        return result;
    if (::ftruncate(fd, 0) != 0) {
        result = lastError();
    } else {
        changed();
        result = writeAll(fd, bytes);
        if (result.ok() && ::fdatasync(fd) != 0)
            result = lastError();
        changed();
    }
    if (::close(fd) != 0 && result.ok())
        result = lastError();
    return result;
}

Result Folder::remove(const QString &name)
{
    if (::unlinkat(d->fd, nameBytes(name).constData(), 0) != 0)
        return lastError();
    changed();
    return {};
}

Result Folder::move(const QString &from, const QString &to)
{
    const QByteArray source = nameBytes(from);
    const QByteArray target = nameBytes(to);
    if (::renameat2(d->fd, source.constData(), d->fd, target.constData(), RENAME_NOREPLACE) == 0) {
        changed();
        return {};
    }
    // A share that cannot rename without replacing (NFS) takes a hard link
    // and the old name's removal, which never replace either.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return lastError();
    if (::linkat(d->fd, source.constData(), d->fd, target.constData(), 0) != 0)
        return lastError();
    changed();
    ::unlinkat(d->fd, source.constData(), 0);
    changed();
    return {};
}

Result Folder::replace(const QString &from, const QString &to)
{
    if (::renameat(d->fd, nameBytes(from).constData(), d->fd, nameBytes(to).constData()) != 0)
        return lastError();
    changed();
    return {};
}

QStringList Folder::namesStartingWith(const QString &prefix) const
{
    QStringList names;
    const int fd = ::openat(d->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    const QByteArray wanted = nameBytes(prefix);
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, wanted.constData(), size_t(wanted.size())) == 0)
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

bool Folder::takesNewFiles() const
{
    return ::faccessat(d->fd, ".", W_OK, AT_EACCESS) == 0;
}

bool Folder::writable(const QString &name) const
{
    Result result;
    const int fd = openPlain(d->fd, name, O_WRONLY, result);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

void Folder::sync()
{
    ::fsync(d->fd);
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
    d->fd = createNew(folder.d->fd, name, result);
    if (d->fd >= 0)
        changed();
    // Already there (made by any copy, any account): open it as it is.
    if (d->fd < 0 && result.problem == FileProblem::Exists)
        d->fd = openPlain(folder.d->fd, name, O_RDWR, result);
    return result;
}

Lock::Try Lock::tryLock()
{
    for (;;) {
        struct flock request = {};
        request.l_type = F_WRLCK;
        request.l_whence = SEEK_SET;
        if (::fcntl(d->fd, kLockCommand, &request) == 0)
            return Try::Held;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EACCES ? Try::Busy : Try::NoLocks;
    }
}

void Lock::release()
{
    if (d->fd >= 0)
        ::close(d->fd); // closing the file lets the lock go
    d->fd = -1;
}

QByteArray hostIdentity()
{
    // The host's name, this boot of it (machines cloned from one image share
    // a name), and the processes' namespace (containers on one host share
    // both, but not each other's process ids).
    QByteArray identity = QSysInfo::machineHostName().toUtf8();
    QFile boot(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (boot.open(QIODevice::ReadOnly))
        identity += ' ' + boot.readLine(64).trimmed();
    char space[64];
    const ssize_t length = ::readlink("/proc/self/ns/pid", space, sizeof space - 1);
    if (length > 0)
        identity += ' ' + QByteArray(space, length);
    return identity;
}

bool processRunning(qint64 pid)
{
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max()
        && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace segni::records::fs
