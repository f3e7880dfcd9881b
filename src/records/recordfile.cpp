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
    return entry.since.elapsed() >= kStaleOwnerMs;
}

} // namespace

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

Lock::Owner Lock::takeOwnerFile()
{
    m_ownText = ownerText();
    const QString path = m_folder->path() + QLatin1Char('/') + m_ownerName;
    // The text of the owner file there now; one that cannot be read (on
    // Windows, one its holder is removing) is judged like one that names
    // no owner.
    const auto readOwner = [this](QByteArray &text) {
        const Result read = m_folder->read(m_ownerName, kMaxOwnerBytes, text);
        if (!read.ok() && read.problem != FileProblem::TooLarge && read.problem != FileProblem::Missing)
            text = QByteArrayLiteral("(unreadable)");
        return read.problem != FileProblem::Missing;
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Result made = m_folder->create(m_ownerName, m_ownText);
        if (made.ok()) {
            m_ownsFile = true;
            watched().remove(path);
            return Owner::Taken;
        }
        switch (m_folder->kind(m_ownerName)) {
        case Kind::Missing:
            watched().remove(path);
            // The folder takes no new file: the system's lock is all there
            // is. Exists: its holder removed it just now.
            if (made.problem != FileProblem::Exists)
                return Owner::Unsupported;
            continue;
        case Kind::Plain:
        case Kind::Other: // on Windows, one its holder is removing
            break;
        case Kind::Folder:
        case Kind::Link:
            // Something else in its place: no owner file can be made here.
            return Owner::Unsupported;
        }
        QByteArray held;
        if (!readOwner(held)) {
            watched().remove(path);
            continue;
        }
        if (!ownerIsGone(held) && !watchedTooLong(path, held))
            return Owner::Busy;
        // Stale. Removed only while it still holds what was judged, so a
        // fresh one made meanwhile stays.
        QByteArray again;
        if (!readOwner(again) || again != held)
            continue;
        // One this account may not remove (another pupil's, in a folder
        // with the sticky bit): the system's lock is all there is.
        if (!m_folder->remove(m_ownerName).ok() && m_folder->kind(m_ownerName) != Kind::Missing)
            return Owner::Unsupported;
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
            if (system == Try::Held)
                return State::Held;
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
        m_folder->remove(m_ownerName);
    m_ownsFile = false;
    release();
}

} // namespace segni::records::fs
