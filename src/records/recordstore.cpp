#include "recordstore.h"

#include "recordweb.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace segni::records {

namespace {

using fs::Folder;
using fs::Kind;
using fs::Lock;
using fs::Result;

FileError errorAt(const Folder &folder, const QString &name, const Result &result)
{
    return FileError{withTrailingSeparator(folder.path()) + name, result.problem, result.code};
}

std::optional<FileError> openFolder(Folder &folder, const QString &cartella, bool create)
{
    if (create && !QFileInfo::exists(cartella))
        QDir().mkpath(cartella); // if it fails, opening says why
    const Result opened = folder.open(cartella);
    if (opened.ok())
        return std::nullopt;
    return FileError{cartella, opened.problem, opened.code};
}

// Takes the lock when it can be had. Another copy holding it is an error
// (busy), and so is a lock file that is there but cannot be used.
std::optional<FileError> lockFolder(Folder &folder, Lock &lock, int waitMs, Lock::State &state)
{
    Result result;
    state = lock.acquire(folder, lockFileName(), ownerFileName(), waitMs, result);
    if (result.ok())
        return std::nullopt;
    return errorAt(folder, state == Lock::State::Busy ? scoreFileName() : lockFileName(), result);
}

// Each name the store uses is a plain file or missing: a link, a folder,
// a pipe or a device there makes the record unusable.
std::optional<FileError> checkKinds(const Folder &folder)
{
    for (const QString &name : {scoreFileName(), holderFileName(), intentFileName()}) {
        switch (folder.kind(name)) {
        case Kind::Missing:
        case Kind::Plain:
            break;
        case Kind::Link:
            return errorAt(folder, name, {Problem::IsLink, 0});
        case Kind::Folder:
            return errorAt(folder, name, {Problem::IsFolder, 0});
        case Kind::Other:
            return errorAt(folder, name, {Problem::NotPlainFile, 0});
        }
    }
    return std::nullopt;
}

// Makes each record file that is missing.
std::optional<FileError> ensureFiles(Folder &folder)
{
    for (const QString &name : {scoreFileName(), holderFileName()}) {
        if (folder.kind(name) != Kind::Missing)
            continue;
        const Result made = folder.create(name);
        if (!made.ok() && folder.kind(name) == Kind::Missing)
            return errorAt(folder, name, made);
    }
    return std::nullopt;
}

// What the intent file holds.
struct Intent
{
    bool present = false;
    bool empty = false;
    bool unreadable = false; // it could not be read: it may name a pair
    std::optional<Pair> pair; // a whole intent's pair
};

Intent readIntent(const Folder &folder)
{
    Intent intent;
    if (folder.kind(intentFileName()) == Kind::Missing)
        return intent;
    QByteArray bytes;
    const Result read = folder.read(intentFileName(), kMaxIntentBytes, bytes);
    intent.present = true;
    intent.empty = read.ok() && bytes.isEmpty();
    intent.unreadable = !read.ok() && read.problem != Problem::TooLarge;
    if (read.ok())
        intent.pair = parseIntent(bytes);
    return intent;
}

// Writes a pair into both record files where they stand; failed names the
// file that could not be written.
Result writePair(Folder &folder, const Pair &pair, QString &failed)
{
    failed = scoreFileName();
    Result result = folder.write(failed, pair.score);
    if (result.ok()) {
        failed = holderFileName();
        result = folder.write(failed, pair.holder);
    }
    return result;
}

// Sets the intent aside: removed, or emptied where this account may not
// remove it (an empty intent names no pair).
void discardIntent(Folder &folder, bool empty)
{
    if (!folder.remove(intentFileName()).ok() && !empty)
        folder.write(intentFileName(), QByteArray());
}

// Under the lock only: a whole intent is a save a crash interrupted (or
// whose files would not take it), and its pair is the record until both
// files hold it; an intent a crash cut short names no pair and goes.
Result settleIntent(Folder &folder, const Intent &intent, QString &failed)
{
    if (intent.pair) {
        const Result result = writePair(folder, *intent.pair, failed);
        if (!result.ok())
            return result;
    }
    if (intent.present && !intent.unreadable)
        discardIntent(folder, intent.empty);
    return {};
}

// Records the decided pair in the intent file, flushed, before either
// record file changes. An intent that is already there (another pupil's
// in a folder with the sticky bit, or in a folder that takes no new file)
// is written where it stands: cut short by a crash, it names no pair.
Result commitIntent(Folder &folder, const Pair &pair)
{
    if (folder.kind(intentFileName()) == Kind::Missing) {
        const Result made = folder.create(intentFileName());
        if (!made.ok() && made.problem != Problem::Exists)
            return made;
        folder.sync(); // the intent's name outlasts a power cut
    }
    return folder.write(intentFileName(), intentBytes(pair));
}

// A folder that takes no new file and holds no intent: both files are
// written where they stand, with nothing to complete them after a crash.
// When a write fails, what was written gets its old bytes back; should
// that fail too, the files are left as a crash there would leave them.
std::optional<FileError> writeWithoutIntent(Folder &folder, const Pair &pair)
{
    Pair before;
    QString failed = scoreFileName();
    Result result = folder.read(failed, kMaxRecordFileBytes, before.score);
    if (result.ok()) {
        failed = holderFileName();
        result = folder.read(failed, kMaxRecordFileBytes, before.holder);
    }
    if (result.ok()) {
        result = writePair(folder, pair, failed);
        if (!result.ok()) {
            folder.write(scoreFileName(), before.score);
            if (failed == holderFileName())
                folder.write(holderFileName(), before.holder);
        }
    }
    if (result.ok())
        return std::nullopt;
    return errorAt(folder, failed, result);
}

QString readText(const Folder &folder, const QString &name, Result &result)
{
    QByteArray bytes;
    result = folder.read(name, kMaxRecordFileBytes, bytes);
    if (result.problem == Problem::TooLarge) {
        result = {}; // not a record file: no record
        return QString();
    }
    return result.ok() ? decodeFile(bytes) : QString();
}

// Both record files as they stand; failed names the one that could not be
// read.
Record readFiles(const Folder &folder, Result &result, QString &failed)
{
    Record record;
    failed = scoreFileName();
    record.score = readText(folder, failed, result);
    if (result.ok()) {
        failed = holderFileName();
        record.holder = readText(folder, failed, result);
    }
    return result.ok() ? record : Record{};
}

// The pair that stands: a whole intent's, else the files'.
struct Standing
{
    std::optional<Pair> intent;
    Record files;

    Record record() const
    {
        return intent ? Record{decodeFile(intent->score), decodeFile(intent->holder)} : files;
    }
    friend bool operator==(const Standing &a, const Standing &b)
    {
        return a.intent == b.intent && a.files.score == b.files.score
            && a.files.holder == b.files.holder;
    }
};

// Without the lock a save may be under way: the intent and both files are
// read in turn until two rounds agree, so a save that ends between two
// reads cannot show one pair's score beside the other's holder. Saves that
// never pause long enough for that, for two seconds, make the record busy.
Record readConsistent(const Folder &folder, Result &result, QString &failed)
{
    constexpr int kPauseMs = 5;
    constexpr int kMaxRounds = 2000 / kPauseMs;
    std::optional<Standing> last;
    for (int round = 0; round < kMaxRounds; ++round) {
        Standing now;
        now.intent = readIntent(folder).pair;
        now.files = readFiles(folder, result, failed);
        if (!result.ok())
            return Record{};
        if (last && *last == now)
            return now.record();
        if (last)
            QThread::msleep(kPauseMs);
        last = now;
    }
    failed = scoreFileName();
    result = {Problem::Busy, 0};
    return Record{};
}

} // namespace

Loaded loadRecord(const QString &cartella, bool createFolder)
{
    if (isRecordUrl(cartella))
        return loadWebRecord(cartella);
    Loaded loaded;
    Folder folder;
    if ((loaded.error = openFolder(folder, cartella, createFolder)))
        return loaded;
    Lock lock;
    Lock::State state;
    // A lock file this account may not write: the record is read without
    // the lock, and no save is tried.
    if (auto error = lockFolder(folder, lock, kLockWaitMs, state); error && !error->busy()) {
        if (error->problem != Problem::Denied) {
            loaded.error = error;
            return loaded;
        }
        loaded.readOnly = error;
    }
    if ((loaded.error = checkKinds(folder)) || (loaded.error = ensureFiles(folder)))
        return loaded;
    QString failed;
    Result read;
    if (state == Lock::State::Held) {
        // An unfinished save is completed first; one that still cannot be
        // completed stays, and its pair is the record.
        const Intent intent = readIntent(folder);
        if (!settleIntent(folder, intent, failed).ok() && intent.pair)
            loaded.record = Standing{intent.pair, {}}.record();
        else
            loaded.record = readFiles(folder, read, failed);
    } else {
        loaded.record = readConsistent(folder, read, failed);
        // Copies saving without end: no record for now; the first question
        // reads it again.
        if (read.problem == Problem::Busy)
            read = {};
    }
    if (!read.ok()) {
        loaded.error = errorAt(folder, failed, read);
        return loaded;
    }
    // A save writes both files where they stand.
    for (const QString &name : {scoreFileName(), holderFileName()}) {
        if (!loaded.readOnly && !folder.writable(name))
            loaded.readOnly = errorAt(folder, name, {Problem::Denied, 0});
    }
    return loaded;
}

Saved saveRecord(const QString &cartella, const QString &score, const QString &holder,
                 bool createFolder, int lockWaitMs)
{
    if (isRecordUrl(cartella))
        return saveWebRecord(cartella, score, holder);
    Folder folder;
    if (auto error = openFolder(folder, cartella, createFolder))
        return {error, {}};
    Lock lock;
    Lock::State state;
    if (auto error = lockFolder(folder, lock, lockWaitMs, state))
        return {error, {}};
    // Both or neither: nothing changes unless both files can be written.
    if (auto error = checkKinds(folder); error || (error = ensureFiles(folder)))
        return {error, {}};
    for (const QString &name : {scoreFileName(), holderFileName()}) {
        if (!folder.writable(name))
            return {errorAt(folder, name, {Problem::Denied, 0}), {}};
    }
    // Without the lock, an intent may be another copy's: it is written
    // over, never set aside. With it, an earlier save's comes first.
    const bool held = state == Lock::State::Held;
    QString failed;
    Result read;
    if (held) {
        if (const Result settled = settleIntent(folder, readIntent(folder), failed); !settled.ok())
            return {errorAt(folder, failed, settled), {}};
    }
    // Another copy may have saved since this game read the record.
    const Record stored = held ? readFiles(folder, read, failed)
                               : readConsistent(folder, read, failed);
    if (!read.ok())
        return {errorAt(folder, failed, read), {}};
    if (!beatsStoredScore(stored.score, score))
        return {std::nullopt, stored};
    const Pair pair{encodeLine(score), encodeLine(holder)};
    // A copy that stalled so long that another took the lock over from it
    // writes nothing more.
    if (!lock.stillHeld())
        return {errorAt(folder, scoreFileName(), {Problem::Busy, 0}), {}};
    const Result decided = commitIntent(folder, pair);
    if (!decided.ok()) {
        if (folder.kind(intentFileName()) == Kind::Missing && decided.problem == Problem::Denied)
            return {writeWithoutIntent(folder, pair), {}};
        const Intent torn = readIntent(folder);
        if (held && torn.present && !torn.pair && !torn.unreadable)
            discardIntent(folder, torn.empty);
        return {errorAt(folder, intentFileName(), decided), {}};
    }
    // From here on the pair is decided: should a file not take it, the
    // intent stays, and every start shows its pair until one completes it.
    if (!lock.stillHeld())
        return {errorAt(folder, scoreFileName(), {Problem::Busy, 0}), {}};
    if (writePair(folder, pair, failed).ok() && held)
        discardIntent(folder, false);
    return {};
}

std::optional<Record> peekRecord(const QString &cartella)
{
    if (isRecordUrl(cartella))
        return peekWebRecord(cartella);
    Folder folder;
    if (!folder.open(cartella).ok())
        return std::nullopt;
    Result read;
    QString failed;
    const Record record = readConsistent(folder, read, failed);
    if (!read.ok())
        return std::nullopt;
    return record;
}

QString readRecordFile(const QString &path)
{
    const QFileInfo info(path);
    Folder folder;
    if (!folder.open(info.path()).ok())
        return QString();
    Result result;
    return readText(folder, info.fileName(), result);
}

} // namespace segni::records
