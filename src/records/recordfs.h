// File operations inside the record folder, written for a folder that
// several accounts (and machines, over a network share) write at once:
// a link is never followed, only plain files are read or written, reads
// are bounded, new files are written and flushed before they are put in
// place, and a file created in a group-writable folder is group-writable
// too, so every member of the group can replace it next time.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace segni::records::fs {

enum class Problem {
    None,
    Missing,
    Exists,
    Denied,
    NoSpace,
    ReadOnlyFileSystem,
    IsFolder,
    NotFolder,
    IsLink,
    NotPlainFile,
    TooLarge,
    Busy,
    Other,
};

struct Result
{
    Problem problem = Problem::None;
    int code = 0; // the system's error number, for Problem::Other

    bool ok() const { return problem == Problem::None; }
};

// A short Italian phrase for a problem, for the pupil's boxes.
QString describe(const Result &result);

enum class Kind { Missing, Plain, Folder, Link, Other };

// Called after each change the record store makes on disk (a file made,
// written, renamed, truncated or removed). Tests use it to stop a save at
// every point in turn; the program leaves it unset.
using ChangeHook = void (*)();
void setChangeHook(ChangeHook hook);

// An open record folder. Every name is a plain file name inside it.
class Folder
{
public:
    Folder() = default;
    ~Folder();
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    // Opens the folder (the path itself may lead through links: it is the
    // administrator's or the user's own; what lies inside is not trusted).
    Result open(const QString &path);
    const QString &path() const { return m_path; }

    Kind kind(const QString &name) const;
    // The whole content of a plain file; larger than maxBytes is TooLarge.
    Result read(const QString &name, qint64 maxBytes, QByteArray &bytes) const;
    // Creates an empty file; an existing name of any kind is left alone.
    Result createEmpty(const QString &name);
    // Creates a new file holding the bytes, flushed to disk. Its mode is
    // that of the plain file likeName when there is one.
    Result writeNew(const QString &name, const QByteArray &bytes, const QString &likeName);
    // Puts a file in place of another, in one step.
    Result rename(const QString &from, const QString &to);
    // Whether this account may rename over the name or remove it: not so
    // for another account's file in a folder with the sticky bit.
    bool mayReplace(const QString &name) const;
    // Replaces the content of an existing plain file where it stands.
    Result overwrite(const QString &name, const QByteArray &bytes);
    // Replaces the content of two existing plain files in place, for a
    // folder where no new file can be made. Both are opened before either
    // is changed; if the second cannot be written both get their old
    // content back.
    Result overwritePair(const QString &first, const QByteArray &firstBytes,
                         const QString &second, const QByteArray &secondBytes, qint64 maxBytes);
    // Removes a name (a link itself, never what it points to).
    Result remove(const QString &name);
    // Whether this account may write the file, or with an empty name
    // make new files in the folder.
    bool writable(const QString &name = QString()) const;
    // Makes the folder's own changes (names made, renamed, removed) durable.
    void sync();
    QStringList names() const;

private:
    friend class Lock;
    // An existing plain file opened for reading and writing, or -1.
    qintptr openForUpdate(const QString &name, Result &result) const;

    QString m_path;
#ifdef Q_OS_WIN
    QString file(const QString &name) const { return m_path + QLatin1Char('/') + name; }
#else
    int m_fd = -1;
#endif
};

// The lock that keeps two copies of the game from saving (or reading while
// the other saves) at the same time: a lock on a file that stays in the
// folder. The system frees it when the holder ends, crashes included, and
// a network file system when the holder's machine is gone.
class Lock
{
public:
    enum class State { Held, Busy, Unavailable };

    Lock() = default;
    ~Lock();
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    // Tries for up to waitMs milliseconds. Unavailable: there is no lock
    // file and none can be made (a folder where only the record files are
    // writable), or the file system has no locks; then result is fine.
    // When result is not fine the lock file is unusable (a link, not a
    // plain file, or not writable in a folder that takes new files).
    State acquire(Folder &folder, const QString &name, int waitMs, Result &result);

private:
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace segni::records::fs
