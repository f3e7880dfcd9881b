#include "recordfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QList>

namespace segni::records::fs {

namespace {

TestHooks g_hooks;

const QByteArray kOwnerHeader = QByteArrayLiteral("segni-lock 1\n");
// An owner file is a few short lines; anything larger names no owner.
constexpr qint64 kMaxOwnerBytes = 4096;

// Owner files this copy found held by others, and since when it has seen
// each unchanged: one from another host counts as stale only once it has
// stayed the same for kStaleOwnerMs, measured by this copy's own clock (the
// machines' clocks need not agree). What is compared is the text and the
// time the file was last written, so a new file with the same text (an
// empty one just made) starts a new watch; a file found gone ends it.
struct Watched
{
    QByteArray seen;
    QElapsedTimer since;
};

QHash<QString, Watched> &watched()
{
    static QHash<QString, Watched> files;
    return files;
}

bool watchedTooLong(const QString &path, const QByteArray &text)
{
    const QByteArray seen = text + '\0'
        + QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
    Watched &entry = watched()[path];
    if (!entry.since.isValid() || entry.seen != seen) {
        entry.seen = seen;
        entry.since.start();
    }
    return entry.since.elapsed() >= staleOwnerMs();
}

// The text of the owner file there now, if any; one that cannot be read (on
// Windows, one its holder is removing) is judged like one that names no
// owner.
bool readOwner(const Folder &folder, const QString &name, QByteArray &text)
{
    const Result read = folder.read(name, kMaxOwnerBytes, text);
    if (!read.ok() && read.problem != FileProblem::TooLarge && read.problem != FileProblem::Missing)
        text = QByteArrayLiteral("(unreadable)");
    return read.problem != FileProblem::Missing;
}

// A name for an owner file on its way out that no other copy uses.
QString setAsideName(const QString &ownerName)
{
    static int count = 0;
    return ownerName + QStringLiteral(".gone-%1-%2")
                           .arg(QCoreApplication::applicationPid())
                           .arg(++count);
}

} // namespace

void removeLeftovers(Folder &folder, const QString &prefix)
{
    for (const QString &name : folder.namesStartingWith(prefix)) {
        QByteArray text;
        // A set-aside owner file, or a whole intent on its way in.
        const Result read = folder.read(name, 1024 * 1024, text);
        if (read.problem == FileProblem::Missing)
            continue;
        if (ownerIsGone(text) || watchedTooLong(folder.path() + QLatin1Char('/') + name, text))
            folder.remove(name);
    }
}

int staleOwnerMs()
{
    return g_hooks.staleOwnerMs > 0 ? g_hooks.staleOwnerMs : kStaleOwnerMs;
}

void watchOwnerFile(const Folder &folder, const QString &ownerName)
{
    const QString path = folder.path() + QLatin1Char('/') + ownerName;
    QByteArray text;
    if (folder.kind(ownerName) != Kind::Plain || !readOwner(folder, ownerName, text))
        watched().remove(path);
    else
        watchedTooLong(path, text);
}

void setTestHooks(const TestHooks &hooks)
{
    g_hooks = hooks;
}

const TestHooks &testHooks()
{
    return g_hooks;
}

void changed()
{
    if (g_hooks.changed)
        g_hooks.changed();
}

QByteArray ownerText()
{
    return kOwnerHeader + hostIdentity() + '\n'
        + QByteArray::number(QCoreApplication::applicationPid()) + '\n'
        + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + '\n';
}

bool ownerIsGone(const QByteArray &text)
{
    const QList<QByteArray> lines = text.mid(kOwnerHeader.size()).split('\n');
    if (!text.startsWith(kOwnerHeader) || lines.size() < 2 || lines[0] != hostIdentity())
        return false;
    bool ok = false;
    const qint64 pid = lines[1].toLongLong(&ok);
    return ok && !processRunning(pid);
}

Lock::Try Lock::trySystemLock()
{
    switch (g_hooks.locks) {
    case SystemLocks::Real:
        return tryLock();
    case SystemLocks::Failing:
        return Try::NoLocks;
    case SystemLocks::GrantedAtOnce:
        return Try::Held;
    }
    return Try::NoLocks;
}

bool Lock::removeOwnerFile(const QByteArray &expected)
{
    // Moved first, so that only the file read there can go: a fresh one
    // another copy made meanwhile under the same name goes back.
    const QString aside = setAsideName(m_ownerName);
    if (!m_folder->move(m_ownerName, aside).ok())
        return false;
    QByteArray moved;
    const Result read = m_folder->read(aside, kMaxOwnerBytes, moved);
    if (read.ok() && moved == expected) {
        m_folder->remove(aside);
        return true;
    }
    // Any other file is never removed here. One read as another copy's goes
    // back, unless its name was taken again meanwhile. One that cannot be
    // read to tell, or cannot go back, stays aside: a leftover that
    // removeLeftovers clears once it is stale; its holder, should it be a
    // fresh one, finds its own gone and writes nothing more.
    if (read.ok()) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (m_folder->move(aside, m_ownerName).ok()
                || m_folder->kind(m_ownerName) != Kind::Missing)
                break;
        }
    }
    return true;
}

Lock::Owner Lock::takeOwnerFile()
{
    m_ownText = ownerText();
    const QString path = m_folder->path() + QLatin1Char('/') + m_ownerName;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Result made = m_folder->create(m_ownerName, m_ownText);
        if (made.ok()) {
            m_ownsFile = true;
            watched().remove(path);
            removeLeftovers(*m_folder, m_ownerName + QStringLiteral(".gone-"));
            return Owner::Taken;
        }
        switch (m_folder->kind(m_ownerName)) {
        case Kind::Missing:
            watched().remove(path);
            // Exists: its holder removed it just now. Anything else: the
            // folder takes no new file, or the disk is full.
            if (made.problem != FileProblem::Exists) {
                m_unshared = made;
                return Owner::Unsupported;
            }
            continue;
        case Kind::Plain:
        case Kind::Other: // on Windows, one its holder is removing
            break;
        case Kind::Folder:
            m_unshared = {FileProblem::IsFolder, 0};
            return Owner::Unsupported;
        case Kind::Link:
            m_unshared = {FileProblem::IsLink, 0};
            return Owner::Unsupported;
        }
        QByteArray held;
        if (!readOwner(*m_folder, m_ownerName, held)) {
            watched().remove(path);
            continue;
        }
        const bool gone = ownerIsGone(held);
        if (!gone && !watchedTooLong(path, held))
            return Owner::Busy;
        // Stale. One this account may not move (another pupil's, in a
        // folder with the sticky bit) excludes nobody from now on.
        // A copy that ended writes nothing more; one judged by time may.
        if (removeOwnerFile(held)) {
            m_tookOver = m_tookOver || !gone;
        } else if (m_folder->kind(m_ownerName) != Kind::Missing) {
            m_unshared = {FileProblem::Denied, 0};
            return Owner::Unsupported;
        }
    }
    return Owner::Busy;
}

Lock::State Lock::acquire(Folder &folder, const QString &name, const QString &ownerName,
                          Result &result)
{
    result = {};
    m_folder = &folder;
    m_ownerName = ownerName;
    const Result opened = openFile(folder, name);
    // A lock file that is there but cannot be used: saving without it
    // could mix two copies' pairs. No lock file, and none can be made:
    // there is no system lock in this folder.
    if (!opened.ok() && folder.kind(name) != Kind::Missing) {
        result = opened;
        return State::Unavailable;
    }
    // Asked once: whoever must wait for another copy pauses between tries
    // without holding anything.
    const Try system = opened.ok() ? trySystemLock() : Try::NoLocks;
    if (system != Try::Busy) {
        switch (takeOwnerFile()) {
        case Owner::Taken:
            return State::Held;
        case Owner::Unsupported:
            // The system's lock alone cannot be trusted: a share may grant
            // it to every machine. Where it was granted it is kept all the
            // same, so that copies on this machine still take turns.
            if (system != Try::Held)
                release();
            return State::Unavailable;
        case Owner::Busy:
            break;
        }
    }
    release();
    result = {FileProblem::Busy, 0};
    return State::Busy;
}

bool Lock::stillHeld() const
{
    // Another copy may have judged this one's owner file stale (this copy
    // stalled longer than any save should take) and taken the lock.
    QByteArray text;
    return !m_ownsFile
        || (m_folder->read(m_ownerName, kMaxOwnerBytes, text).ok() && text == m_ownText);
}

void Lock::unlock()
{
    // The owner file goes before the system's lock, and only while it is
    // still this copy's own.
    if (m_ownsFile && stillHeld())
        removeOwnerFile(m_ownText);
    m_ownsFile = false;
    release();
}

} // namespace segni::records::fs
