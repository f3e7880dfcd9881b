#include "folderstore.h"

#include "folderpair.h"
#include "openstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace segni::records {

namespace {

using namespace folder;
using fs::Lock;
using fs::removeLeftovers;

// Each error names the record folder as the game shows it.
FileError in(const QString &cartella, FileError error)
{
    error.folder = cartella;
    return error;
}

std::optional<FileError> openFolder(Folder &folder, const QString &cartella, bool create)
{
    if (create && !QFileInfo::exists(cartella))
        QDir().mkpath(cartella); // if it fails, opening says why
    const Result opened = folder.open(cartella);
    if (opened.ok())
        return std::nullopt;
    return FileError{cartella, cartella, opened.problem, opened.code};
}

// Takes the lock when it can be had. Another copy holding it is an error
// (busy), and so is a lock file that is there but cannot be used.
std::optional<FileError> lockFolder(Folder &folder, Lock &lock, Lock::State &state)
{
    Result result;
    state = lock.acquire(folder, lockFileName(), ownerFileName(), result);
    if (result.ok())
        return std::nullopt;
    return errorAt(folder, state == Lock::State::Busy ? scoreFileName() : lockFileName(), result);
}

// How long after a save without the lock the record is read again: a
// copy on another machine that decided at the same moment, and was held
// back between its last check and its write, has written by then.
constexpr int kConfirmMs = 250;

// The intent of a save without the lock, on its way in under a name of its
// own.
QString intentOnItsWay()
{
    static int count = 0;
    return intentFileName()
        + QStringLiteral(".new-%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
}

// Without the lock, another copy may read while this one writes: the
// intent goes in whole, in place of what was there, where the folder takes
// a new file and the old intent may be replaced; else it is written where
// it stands.
Result commitWhole(Folder &folder, const Pair &pair, const StillHeld &held)
{
    const QString coming = intentOnItsWay();
    if (folder.create(coming).ok()) {
        if (folder.write(coming, intentBytes(pair)).ok() && held()
            && folder.replace(coming, intentFileName()).ok()) {
            folder.sync();
            return {};
        }
        folder.remove(coming);
    }
    return commitIntent(folder, pair, held);
}

// A save's try: the folder open, the lock held where it can be, and the
// pair read under it.
class FolderSaveTry final : public SaveTry
{
public:
    FolderSaveTry(QString cartella, Pause pause)
        : m_cartella(std::move(cartella))
        , m_pause(std::move(pause))
    {
    }

    // Nothing when the stored pair was read; else why not.
    std::optional<FileError> begin(bool createFolder, bool &busy)
    {
        busy = false;
        if (auto error = openFolder(m_folder, m_cartella, createFolder))
            return error;
        Lock::State state;
        if (auto error = lockFolder(m_folder, m_lock, state)) {
            busy = state == Lock::State::Busy;
            return error;
        }
        // Both or neither: nothing changes unless both files can be written.
        if (auto error = checkKinds(m_folder); error || (error = ensureFiles(m_folder)))
            return error;
        for (const QString &name : {scoreFileName(), holderFileName()}) {
            if (!m_folder.writable(name))
                return errorAt(m_folder, name, {FileProblem::Denied, 0});
        }
        // Without the lock, an intent may be another copy's: it is written
        // over, never set aside. With it, an earlier save's comes first.
        m_held = state == Lock::State::Held;
        QString failed;
        Result read;
        if (m_held) {
            const StillHeld held = [this] { return m_lock.stillHeld(); };
            if (const Result settled = settleIntent(m_folder, readIntent(m_folder), failed, held,
                                                    m_lock.tookOver());
                !settled.ok()) {
                busy = settled.problem == FileProblem::Busy;
                return errorAt(m_folder, failed, settled);
            }
        }
        // Another copy may have saved since this game read the record.
        if (!m_held)
            removeLeftovers(m_folder, intentFileName() + QStringLiteral(".new-"));
        m_stored = m_held ? readFiles(m_folder, read, failed)
                          : readConsistent(m_folder, read, failed);
        // Busy: a save is changing the files right now.
        busy = read.problem == FileProblem::Busy;
        if (!read.ok())
            return errorAt(m_folder, failed, read);
        return std::nullopt;
    }

    const Record &stored() const override { return m_stored; }

    Task<Written> write(const QString &score, const QString &holder) override
    {
        Written outcome = written(score, holder);
        if (m_held || outcome.error || outcome.overtaken)
            co_return outcome;
        // Without the lock, nothing kept another copy from writing just
        // after this one: what stands a moment later is what was saved.
        co_await m_pause(kConfirmMs);
        Result read;
        QString failed;
        if (readConsistent(m_folder, read, failed) != *outcome.pair)
            outcome.overtaken = true;
        co_return outcome;
    }

private:
    // Asked before each file a save writes. With the lock: it is still
    // this copy's. Without: nothing of another copy's save has come in since
    // this one read the record (where there is no intent, the score file
    // may hold this save's score already), or this save's intent stands.
    StillHeld stillHeld(const Pair &pair)
    {
        if (m_held)
            return [this] { return m_lock.stillHeld(); };
        return [this, pair] {
            if (readIntent(m_folder).pair == pair)
                return true;
            Result read;
            QString failed;
            const Record now = readConsistent(m_folder, read, failed);
            const Record halfway{recordOf(pair).score, m_stored.holder};
            return read.ok() && (now == m_stored || now == halfway);
        };
    }

    Written written(const QString &score, const QString &holder)
    {
        const Pair pair{encodeLine(score), encodeLine(holder)};
        Written outcome;
        outcome.pair = recordOf(pair);
        // A copy held back long enough that another overtook it writes
        // nothing more: each write first checks.
        const StillHeld held = stillHeld(pair);
        const Result decided =
            m_held ? commitIntent(m_folder, pair, held) : commitWhole(m_folder, pair, held);
        if (decided.problem == FileProblem::Busy) {
            outcome.overtaken = true;
            return outcome;
        }
        if (!decided.ok()) {
            if (m_folder.kind(intentFileName()) == Kind::Missing
                && decided.problem == FileProblem::Denied) {
                const auto error = writeWithoutIntent(m_folder, pair, held);
                if (error && error->problem == FileProblem::Busy)
                    outcome.overtaken = true;
                else if (error)
                    outcome.error = in(m_cartella, *error);
                return outcome;
            }
            const Intent torn = readIntent(m_folder);
            if (m_held && torn.present && !torn.pair && !torn.unreadable)
                discardIntent(m_folder, torn.empty, held);
            outcome.error = in(m_cartella, errorAt(m_folder, intentFileName(), decided));
            return outcome;
        }
        // From here on the pair is decided: should a file not take it, the
        // intent stays, and every start shows its pair until one completes
        // it (the copy that took the lock over first of all).
        QString failed;
        const Result wrote = writePair(m_folder, pair, failed, held);
        if (wrote.problem == FileProblem::Busy)
            outcome.overtaken = true;
        else if (wrote.ok() && m_held && !m_lock.tookOver())
            discardIntent(m_folder, false, held);
        return outcome;
    }

    QString m_cartella;
    Pause m_pause;
    Folder m_folder;
    Lock m_lock;
    bool m_held = false;
    Record m_stored;
};

} // namespace

FolderStore::FolderStore(QString folder, bool createFolder, Pause pause)
    : m_folder(std::move(folder))
    , m_createFolder(createFolder)
    , m_pause(std::move(pause))
{
}

Task<Loaded> FolderStore::load()
{
    Loaded loaded;
    const auto failing = [&](const FileError &error) {
        loaded.error = in(m_folder, error);
        return loaded;
    };
    Folder folder;
    if (auto error = openFolder(folder, m_folder, m_createFolder))
        co_return failing(*error);
    Lock lock;
    Lock::State state;
    // A lock file this account may not write: the record is read without
    // the lock, and no save is tried. Another copy saving now: the record
    // is read without it.
    if (auto error = lockFolder(folder, lock, state); error && state != Lock::State::Busy) {
        if (error->problem != FileProblem::Denied)
            co_return failing(*error);
        loaded.readOnly = in(m_folder, *error);
    } else if (state == Lock::State::Unavailable && !lock.unshared().ok()) {
        loaded.unsafe = in(m_folder, errorAt(folder, ownerFileName(), lock.unshared()));
    }
    if (auto error = checkKinds(folder); error || (error = ensureFiles(folder)))
        co_return failing(*error);
    QString failed;
    Result read;
    if (state == Lock::State::Held) {
        // An unfinished save is completed first; one that still cannot be
        // completed stays, and its pair is the record.
        const Intent intent = readIntent(folder);
        if (!settleIntent(folder, intent, failed, [&lock] { return lock.stillHeld(); },
                          lock.tookOver())
                 .ok()
            && intent.pair)
            loaded.record = recordOf(*intent.pair);
        else
            loaded.record = readFiles(folder, read, failed);
    } else {
        loaded.record = readConsistent(folder, read, failed);
        // Copies saving without end: no record for now; the first question
        // reads it again.
        if (read.problem == FileProblem::Busy)
            read = {};
    }
    if (!read.ok())
        co_return failing(errorAt(folder, failed, read));
    // A save writes both files where they stand.
    for (const QString &name : {scoreFileName(), holderFileName()}) {
        if (!loaded.readOnly && !folder.writable(name))
            loaded.readOnly = in(m_folder, errorAt(folder, name, {FileProblem::Denied, 0}));
    }
    co_return loaded;
}

Task<std::optional<Record>> FolderStore::peek()
{
    Folder folder;
    if (!folder.open(m_folder).ok())
        co_return std::nullopt;
    // Another copy's owner file that is still there by the time this game
    // saves has been there all along.
    fs::watchOwnerFile(folder, ownerFileName());
    Result read;
    QString failed;
    const Record record = readConsistent(folder, read, failed);
    if (!read.ok())
        co_return std::nullopt;
    co_return record;
}

Task<Begun> FolderStore::beginSave()
{
    Begun begun;
    auto held = std::make_unique<FolderSaveTry>(m_folder, m_pause);
    if (auto error = held->begin(m_createFolder, begun.busy)) {
        if (!begun.busy)
            begun.error = in(m_folder, *error);
        co_return begun;
    }
    begun.held = std::move(held);
    co_return begun;
}

StoreError FolderStore::busyError() const
{
    return FileError{m_folder, withTrailingSeparator(m_folder) + scoreFileName(), FileProblem::Busy};
}

std::unique_ptr<RecordStore> openLocalStore(const RecordPlace &place, Pause pause)
{
    // The pupil's own folder is made when it is missing; the class's never.
    return std::make_unique<FolderStore>(place.where, !place.shared, std::move(pause));
}

} // namespace segni::records
