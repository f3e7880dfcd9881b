// The file layer of the record store: plain files inside one folder that
// several accounts (and machines, over a network share) may write at once.
// A link is never followed, only plain files are read or written, reads
// are bounded, and every write is flushed to disk before it returns.
//
// The same calls behave the same on every system: recordfile_unix.cpp and
// recordfile_win.cpp hold each system's half; recordfile.cpp what is
// common to both (the lock's waiting, the test hooks).
#pragma once

#include "recorderror.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace segni::records {

namespace fs {

struct Result
{
    FileProblem problem = FileProblem::None;
    int code = 0;

    bool ok() const { return problem == FileProblem::None; }
};

enum class Kind { Missing, Plain, Folder, Link, Other };

// How the system's byte-range locks behave, for the tests.
enum class SystemLocks {
    Real,
    // Every request fails (ENOLCK), as on a share mounted without locks.
    Failing,
    // Every request is granted at once, as each machine grants its own
    // copies on a share whose locks are not shared (NFS nolock, SMB nobrl).
    GrantedAtOnce,
};

// Seams for the tests; the program leaves them unset.
struct TestHooks
{
    // Called right after each change on disk (a file made, truncated,
    // written or removed), so a test can end the process there.
    void (*changed)() = nullptr;
    SystemLocks locks = SystemLocks::Real;
};
void setTestHooks(const TestHooks &hooks);
const TestHooks &testHooks();

// An open record folder. Every name is a plain file name inside it.
class Folder
{
public:
    Folder();
    ~Folder();
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    // Opens the folder. The path itself may lead through links (it is the
    // administrator's or the user's own); what lies inside is not trusted.
    // Unix keeps the folder itself open; Windows names it by its path.
    Result open(const QString &path);
    const QString &path() const { return m_path; }

    Kind kind(const QString &name) const;
    // The whole content of a plain file; more than maxBytes is TooLarge.
    Result read(const QString &name, qint64 maxBytes, QByteArray &bytes) const;
    // Makes a new file holding the bytes (not flushed: what must outlast a
    // power cut is written with write()); whatever already has the name is
    // left alone (Exists). It is group-writable when the folder is.
    Result create(const QString &name, const QByteArray &bytes = QByteArray());
    // Replaces the content of an existing plain file where it stands.
    Result write(const QString &name, const QByteArray &bytes);
    // Removes the name (a link itself, never what it points to).
    Result remove(const QString &name);
    // Whether this account may make new files in the folder (Unix asks
    // the system; Windows, whose access rules a program cannot read as
    // simply, makes a file that goes again when closed).
    bool takesNewFiles() const;
    // Whether this account may open the plain file for writing.
    bool writable(const QString &name) const;
    // Makes the folder's own changes (names made or removed) durable.
    void sync();

    struct Native;

private:
    friend class Lock;
    QString m_path;
    std::unique_ptr<Native> d;
};

// The lock that keeps copies of the game from saving, or reading while
// another saves, at the same time. It is two locks, both held:
// - the system's lock on a file that stays in the folder, which the system
//   frees when the holder ends, crashes included;
// - an owner file made only when no other is there, naming its host,
//   process and time, removed by the holder when done. This one also
//   excludes copies on other machines where a network share grants every
//   machine the system's lock on its own (NFS mounted nolock, SMB nobrl).
// An owner file is stale, and is removed by the next copy, when its
// process on this host is gone, or when this copy has seen the very same
// file for longer than any save could take (kStaleOwnerMs).
class Lock
{
public:
    enum class State { Held, Busy, Unavailable };

    Lock();
    ~Lock();
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    // Tries once. Busy: another copy holds it. Unavailable, with result fine:
    // neither lock can be had here (no lock file, none can be made, and no
    // owner file either, or no locks at all). With result not fine, the
    // lock file is there but unusable (a link, not a plain file, or not
    // writable by this account).
    State acquire(Folder &folder, const QString &name, const QString &ownerName, Result &result);
    // Whether the owner file this lock made is still there as it made it.
    bool stillHeld() const;

    struct Native;

private:
    enum class Try { Held, Busy, NoLocks };
    enum class Owner { Taken, Busy, Unsupported };
    // Each system's half: opens (or makes) the lock file, and asks once
    // for the lock.
    Result openFile(Folder &folder, const QString &name);
    Try tryLock();
    void release();
    Try trySystemLock();
    Owner takeOwnerFile();
    void unlock();

    std::unique_ptr<Native> d;
    Folder *m_folder = nullptr;
    QString m_ownerName;
    QByteArray m_ownText;
    bool m_ownsFile = false;
};

// How long an owner file from another host (or naming no owner) must stay
// the same before it counts as left by a copy that crashed.
constexpr int kStaleOwnerMs = 5000;

// The text of an owner file: this host (its name, and on Linux this boot of
// it, which tells apart machines cloned from one image), this process, the
// time.
QByteArray ownerText();
// Whether an owner file's text names a process of this host that is gone.
bool ownerIsGone(const QByteArray &text);

// Each system's half: whether the process with this id still runs here,
// and what tells this machine, as it runs now, from any other.
bool processRunning(qint64 pid);
QByteArray hostIdentity();

// Called by each system's half after every change on disk.
void changed();

} // namespace fs
} // namespace segni::records
