#include "folderstore.h"

#include "folderpair.h"
#include "openstore.h"

#include <QDir>
#include <QFileInfo>

namespace segni::records {

namespace {

using namespace folder;
using fs::Lock;

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

// A save's try: the folder open, the lock held where it can be, and the
// pair read under it.
class FolderSaveTry final : public SaveTry
{
public:
    FolderSaveTry(QString cartella)
        : m_cartella(std::move(cartella))
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
            if (const Result settled = settleIntent(m_folder, readIntent(m_folder), failed);
                !settled.ok())
                return errorAt(m_folder, failed, settled);
        }
        // Another copy may have saved since this game read the record.
        m_stored = m_held ? readFiles(m_folder, read, failed)
                          : readConsistent(m_folder, read, failed);
        if (!read.ok())
            return errorAt(m_folder, failed, read);
        return std::nullopt;
    }

    const Record &stored() const override { return m_stored; }

    Task<Written> write(const QString &score, const QString &holder) override
    {
        co_return written(score, holder);
    }

private:
    Written written(const QString &score, const QString &holder)
    {
        const Pair pair{encodeLine(score), encodeLine(holder)};
        Written outcome;
        outcome.pair = recordOf(pair);
        // A copy that stalled so long that another took the lock over from
        // it writes nothing more.
        if (!m_lock.stillHeld()) {
            outcome.overtaken = true;
            return outcome;
        }
        const Result decided = commitIntent(m_folder, pair);
        if (!decided.ok()) {
            if (m_folder.kind(intentFileName()) == Kind::Missing
                && decided.problem == FileProblem::Denied) {
                if (auto error = writeWithoutIntent(m_folder, pair))
                    outcome.error = in(m_cartella, *error);
                return outcome;
            }
            const Intent torn = readIntent(m_folder);
            if (m_held && torn.present && !torn.pair && !torn.unreadable)
                discardIntent(m_folder, torn.empty);
            outcome.error = in(m_cartella, errorAt(m_folder, intentFileName(), decided));
            return outcome;
        }
        // From here on the pair is decided: should a file not take it, the
        // intent stays, and every start shows its pair until one completes
        // it.
        if (!m_lock.stillHeld()) {
            outcome.overtaken = true;
            return outcome;
        }
        QString failed;
        if (writePair(m_folder, pair, failed).ok() && m_held)
            discardIntent(m_folder, false);
        return outcome;
    }

    QString m_cartella;
    Folder m_folder;
    Lock m_lock;
    bool m_held = false;
    Record m_stored;
};

} // namespace

FolderStore::FolderStore(QString folder, bool createFolder)
    : m_folder(std::move(folder))
    , m_createFolder(createFolder)
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
    }
    if (auto error = checkKinds(folder); error || (error = ensureFiles(folder)))
        co_return failing(*error);
    QString failed;
    Result read;
    if (state == Lock::State::Held) {
        // An unfinished save is completed first; one that still cannot be
        // completed stays, and its pair is the record.
        const Intent intent = readIntent(folder);
        if (!settleIntent(folder, intent, failed).ok() && intent.pair)
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
    auto held = std::make_unique<FolderSaveTry>(m_folder);
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

std::unique_ptr<RecordStore> openLocalStore(const RecordPlace &place)
{
    // The pupil's own folder is made when it is missing; the class's never.
    return std::make_unique<FolderStore>(place.where, !place.shared);
}

} // namespace segni::records
