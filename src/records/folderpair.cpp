#include "folderpair.h"

namespace segni::records::folder {

FileError errorAt(const Folder &folder, const QString &name, const Result &result)
{
    return FileError{QString(), withTrailingSeparator(folder.path()) + name, result.problem,
                     result.code};
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
            return errorAt(folder, name, {FileProblem::IsLink, 0});
        case Kind::Folder:
            return errorAt(folder, name, {FileProblem::IsFolder, 0});
        case Kind::Other:
            return errorAt(folder, name, {FileProblem::NotPlainFile, 0});
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

Intent readIntent(const Folder &folder)
{
    Intent intent;
    if (folder.kind(intentFileName()) == Kind::Missing)
        return intent;
    QByteArray bytes;
    const Result read = folder.read(intentFileName(), kMaxIntentBytes, bytes);
    intent.present = true;
    intent.empty = read.ok() && bytes.isEmpty();
    intent.unreadable = !read.ok() && read.problem != FileProblem::TooLarge;
    if (read.ok())
        intent.pair = parseIntent(bytes);
    return intent;
}

namespace {

// Writes a file while the lock is still this copy's.
Result writeHeld(Folder &folder, const QString &name, const QByteArray &bytes,
                 const StillHeld &held)
{
    if (!held())
        return {FileProblem::Busy, 0};
    return folder.write(name, bytes);
}

} // namespace

Result writePair(Folder &folder, const Pair &pair, QString &failed, const StillHeld &held)
{
    failed = scoreFileName();
    Result result = writeHeld(folder, failed, pair.score, held);
    if (result.ok()) {
        failed = holderFileName();
        result = writeHeld(folder, failed, pair.holder, held);
    }
    return result;
}

void discardIntent(Folder &folder, bool empty, const StillHeld &held)
{
    if (!held())
        return;
    if (!folder.remove(intentFileName()).ok() && !empty)
        writeHeld(folder, intentFileName(), QByteArray(), held);
}

// Under the lock only: a whole intent is a save a crash interrupted (or
// whose files would not take it), and its pair is the record until both
// files hold it; an intent a crash cut short names no pair and goes.
Result settleIntent(Folder &folder, const Intent &intent, QString &failed, const StillHeld &held,
                    bool keep)
{
    if (intent.pair) {
        const Result result = writePair(folder, *intent.pair, failed, held);
        if (!result.ok())
            return result;
    }
    if (intent.present && !intent.unreadable && !(keep && intent.pair))
        discardIntent(folder, intent.empty, held);
    return {};
}

// Records the decided pair in the intent file, flushed, before either
// record file changes. An intent that is already there (another pupil's
// in a folder with the sticky bit, or in a folder that takes no new file)
// is written where it stands: cut short by a crash, it names no pair.
Result commitIntent(Folder &folder, const Pair &pair, const StillHeld &held)
{
    if (!held())
        return {FileProblem::Busy, 0};
    if (folder.kind(intentFileName()) == Kind::Missing) {
        const Result made = folder.create(intentFileName());
        if (!made.ok() && made.problem != FileProblem::Exists)
            return made;
        folder.sync(); // the intent's name outlasts a power cut
    }
    return writeHeld(folder, intentFileName(), intentBytes(pair), held);
}

// A folder that takes no new file and holds no intent: both files are
// written where they stand, with nothing to complete them after a crash.
// When a write fails, what was written gets its old bytes back, right
// after the check that let that write go; should that fail too, the files
// are left as a crash there would leave them. Once the check fails nothing
// more is written, nor put back: the files are another copy's save.
std::optional<FileError> writeWithoutIntent(Folder &folder, const Pair &pair,
                                            const StillHeld &held)
{
    Pair before;
    QString failed = scoreFileName();
    Result result = folder.read(failed, kMaxRecordFileBytes, before.score);
    if (result.ok()) {
        failed = holderFileName();
        result = folder.read(failed, kMaxRecordFileBytes, before.holder);
    }
    if (result.ok()) {
        result = writePair(folder, pair, failed, held);
        if (!result.ok() && result.problem != FileProblem::Busy) {
            folder.write(scoreFileName(), before.score);
            if (failed == holderFileName())
                folder.write(holderFileName(), before.holder);
        }
    }
    if (result.ok())
        return std::nullopt;
    return errorAt(folder, failed, result);
}

namespace {

QString readText(const Folder &folder, const QString &name, Result &result)
{
    QByteArray bytes;
    result = folder.read(name, kMaxRecordFileBytes, bytes);
    if (result.problem == FileProblem::TooLarge) {
        result = {}; // not a record file: no record
        return QString();
    }
    return result.ok() ? decodeFile(bytes) : QString();
}

} // namespace

Record recordOf(const Pair &pair)
{
    return Record{decodeFile(pair.score), decodeFile(pair.holder)};
}

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

namespace {

// The pair that stands: a whole intent's, else the files'.
struct Standing
{
    std::optional<Pair> intent;
    Record files;

    Record record() const
    {
        return intent ? recordOf(*intent) : files;
    }
    friend bool operator==(const Standing &a, const Standing &b)
    {
        return a.intent == b.intent && a.files == b.files;
    }
};

} // namespace

// Without the lock a save may be under way: the intent and both files are
// read in turn until two rounds in a row agree, so a save that ends between
// two reads cannot show one pair's score beside the other's holder. Nothing
// waits here: when a few rounds all differ, a save is changing the files
// right now, and the record is busy; whoever asked reads again later (the
// next question, or the save's next try after its pause).
Record readConsistent(const Folder &folder, Result &result, QString &failed)
{
    constexpr int kMaxRounds = 4;
    std::optional<Standing> last;
    for (int round = 0; round < kMaxRounds; ++round) {
        Standing now;
        now.intent = readIntent(folder).pair;
        now.files = readFiles(folder, result, failed);
        if (!result.ok())
            return Record{};
        if (last && *last == now)
            return now.record();
        last = now;
    }
    failed = scoreFileName();
    result = {FileProblem::Busy, 0};
    return Record{};
}


} // namespace segni::records::folder
