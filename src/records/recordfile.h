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
#include <QStringList>

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
    // written, moved or removed), so a test can end the process there.
    void (*changed)() = nullptr;
    SystemLocks locks = SystemLocks::Real;
    // How long another host's owner file must stay the same to be stale;
    // 0: kStaleOwnerMs.
    int staleOwnerMs = 0;
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
    // Gives a file another name, which nothing may have yet (Exists).
    Result move(const QString &from, const QString &to);
    // Gives a file another name in one step, in place of what had it.
    Result replace(const QString &from, const QString &to);
    // The names in the folder that begin so.
    QStringList namesStartingWith(const QString &prefix) const;
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
// file for kStaleOwnerMs. Only the file judged stale is ever removed: it is
// first moved to a name of this copy's own and read again there; the
// holder lets its own go the same way. A holder checks, before each file it
// writes, that its owner file is still its own.
class Lock
{
public:
    enum class State { Held, Busy, Unavailable };

    Lock();
    ~Lock();
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

    // Tries once. Busy: another copy holds it. Unavailable, with result not
    // fine: the lock file is there but unusable (a link, not a plain file,
    // or not writable by this account). Unavailable, with result fine: no
    // lock that excludes copies on every machine can be had here, since no
    // owner file can be made (a folder or a link in its place, a full disk,
    // a folder that takes no new file) or a stale one cannot be removed
    // (another pupil's, in a folder with the sticky bit); unshared() says
    // why. The system's lock, where it was granted, is then held all the
    // same until this lock goes.
    State acquire(Folder &folder, const QString &name, const QString &ownerName, Result &result);
    // Why an Unavailable lock excludes nothing: the owner file's problem.
    const Result &unshared() const { return m_unshared; }
    // Held by taking over from an owner file judged stale: its copy may
    // yet go on writing what it was writing when it was held back.
    bool tookOver() const { return m_tookOver; }
    // Whether the owner file this lock made is still there as it made it.
    bool stillHeld() const;

    struct Native;

private:
    enum class Try { Held, Busy, NoLocks };
    enum class Owner { Taken, Busy, Unsupported };
    // Removes the owner file only while it still holds the text given; any
    // other file found there goes back or stays aside, never removed. False
    // when it could not be moved away.
    bool removeOwnerFile(const QByteArray &expected);
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
    bool m_tookOver = false;
    Result m_unshared;
};

// How long an owner file from another host (or naming no owner, or one this
// copy cannot read) must stay the same before it counts as left by a copy
// that crashed: far longer than a save takes, and longer than a network
// share holds a write back when it drops out for a moment. An NFS client
// over TCP retransmits a lost request after 60 seconds and again after 180
// (timeo 600, linear backoff, retrans 2, the defaults), and a CIFS client
// declares its server dead after twice its echo interval (60 seconds by
// default): a write held back by one lost request comes at 60 seconds, so
// the stale time must lie well beyond. Five minutes does, and stays well
// within a game's fifteen, so a copy that has watched the same owner file
// since early in its game still judges it stale the moment it saves.
constexpr int kStaleOwnerMs = 5 * 60 * 1000;
int staleOwnerMs();

// Removes the files whose names begin so that a copy left behind when it
// crashed (or was held back) on its way: those that name a process of this
// host that is gone, and those this copy has seen unchanged for as long as
// an owner file takes to be stale. A copy still running finds its own gone
// from under it, which it takes as done.
void removeLeftovers(Folder &folder, const QString &prefix);

// Looks at the owner file there now, if any, so that this copy's watch of
// it starts now: a copy that has seen the same owner file since early in
// its game can judge it stale the moment it saves.
void watchOwnerFile(const Folder &folder, const QString &ownerName);

// The text of an owner file: this host (its name, and what tells apart
// machines cloned from one image and copies in separate containers), this
// process, the time.
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
