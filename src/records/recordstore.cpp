#include "recordstore.h"

#include "recordfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <vector>
#endif

namespace segni::records {

namespace {

using fs::Folder;
using fs::Kind;
using fs::Lock;
using fs::Problem;
using fs::Result;

#ifndef Q_OS_WIN
// Windows-1252 differs from Latin-1 in 0x80..0x9f only.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QString decodeCp1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(b >= 0x80 && b < 0xa0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}
#endif

// ---- The intent file: the new pair, in full ----
//
//   segni-record 1\n
//   <bytes of the score file> <bytes of the holder file>\n
//   <the score file's bytes><the holder file's bytes>

const QByteArray kIntentHeader = QByteArrayLiteral("segni-record 1\n");
constexpr qint64 kMaxIntentBytes = 2 * kMaxRecordFileBytes + 64;

QByteArray intentBytes(const QByteArray &score, const QByteArray &holder)
{
    return kIntentHeader + QByteArray::number(score.size()) + ' '
        + QByteArray::number(holder.size()) + '\n' + score + holder;
}

// The pair an intent file names, or nothing for anything that is not a
// whole intent file.
std::optional<std::pair<QByteArray, QByteArray>> parseIntent(const QByteArray &bytes)
{
    if (!bytes.startsWith(kIntentHeader))
        return std::nullopt;
    const qsizetype lineEnd = bytes.indexOf('\n', kIntentHeader.size());
    if (lineEnd < 0)
        return std::nullopt;
    const QList<QByteArray> sizes = bytes.mid(kIntentHeader.size(), lineEnd - kIntentHeader.size())
                                        .split(' ');
    if (sizes.size() != 2)
        return std::nullopt;
    bool scoreOk = false, holderOk = false;
    const qint64 scoreSize = sizes[0].toLongLong(&scoreOk);
    const qint64 holderSize = sizes[1].toLongLong(&holderOk);
    if (!scoreOk || !holderOk || scoreSize < 0 || holderSize < 0
        || scoreSize > kMaxRecordFileBytes || holderSize > kMaxRecordFileBytes
        || bytes.size() - lineEnd - 1 != scoreSize + holderSize)
        return std::nullopt;
    return std::make_pair(bytes.mid(lineEnd + 1, scoreSize),
                          bytes.mid(lineEnd + 1 + scoreSize, holderSize));
}

// ---- Names of new files on their way in ----

const QString kTemporaryPrefix = QStringLiteral(".segni-");
const QString kTemporarySuffix = QStringLiteral(".tmp");

QString temporaryName(const QString &forName)
{
    return kTemporaryPrefix + forName + QLatin1Char('-')
        + QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-')
        + QString::number(QRandomGenerator::global()->generate64(), 36) + kTemporarySuffix;
}

// Writes a new file beside forName, under a fresh name: `name` is set to it.
Result writeTemporary(Folder &folder, const QString &forName, const QByteArray &bytes,
                      const QString &likeName, QString &name)
{
    Result result;
    for (int attempt = 0; attempt < 3; ++attempt) {
        name = temporaryName(forName);
        result = folder.writeNew(name, bytes, likeName);
        if (result.problem != Problem::Exists)
            break;
    }
    return result;
}

bool isTemporary(const QString &name)
{
    return name.startsWith(kTemporaryPrefix) && name.endsWith(kTemporarySuffix);
}

FileError errorAt(const Folder &folder, const QString &name, const Result &result)
{
    return FileError{withTrailingSeparator(folder.path()) + name, fs::describe(result),
                     result.problem == Problem::Busy};
}

// A name the record store uses must be a plain file or missing: a link,
// a folder, a pipe or a device there makes the record unusable.
std::optional<FileError> checkKinds(const Folder &folder, std::initializer_list<QString> names)
{
    for (const QString &name : names) {
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

std::optional<FileError> openFolder(Folder &folder, const QString &cartella, bool create)
{
    if (create && !QFileInfo::exists(cartella))
        QDir().mkpath(cartella); // if it fails, opening says why
    const Result opened = folder.open(cartella);
    if (opened.ok())
        return std::nullopt;
    return FileError{cartella, fs::describe(opened)};
}

// The new pair written beside the old one, under fresh names.
struct Staged
{
    QString score;
    QString holder;
};

Result stage(Folder &folder, const QByteArray &score, const QByteArray &holder, Staged &staged)
{
    Result result = writeTemporary(folder, scoreFileName(), score, scoreFileName(), staged.score);
    if (!result.ok())
        return result;
    result = writeTemporary(folder, holderFileName(), holder, holderFileName(), staged.holder);
    if (!result.ok())
        folder.remove(staged.score);
    return result;
}

bool renameable(const Folder &folder)
{
    return folder.writable() && folder.mayReplace(scoreFileName())
        && folder.mayReplace(holderFileName());
}

// Writes both files in place, naming the one that failed.
std::optional<FileError> overwriteBoth(Folder &folder, const QByteArray &score,
                                       const QByteArray &holder)
{
    const Result result = folder.overwritePair(scoreFileName(), score, holderFileName(), holder,
                                               kMaxRecordFileBytes);
    if (result.ok())
        return std::nullopt;
    const bool scoreUsable = folder.kind(scoreFileName()) == Kind::Plain
        && folder.writable(scoreFileName());
    return errorAt(folder, scoreUsable ? holderFileName() : scoreFileName(), result);
}

// Puts a decided pair in place: the staged files renamed over the old ones
// where possible, else both written in place. keepIntent is set when the
// files may be left one of each, so that the next start completes them.
std::optional<FileError> apply(Folder &folder, const QByteArray &score, const QByteArray &holder,
                               const Staged *staged, bool &keepIntent)
{
    keepIntent = false;
    if (staged) {
        const bool scoreIn = folder.rename(staged->score, scoreFileName()).ok();
        const bool holderIn = folder.rename(staged->holder, holderFileName()).ok();
        folder.sync();
        if (scoreIn && holderIn)
            return std::nullopt;
        if (!scoreIn)
            folder.remove(staged->score);
        if (!holderIn)
            folder.remove(staged->holder);
        keepIntent = scoreIn || holderIn;
    }
    auto error = overwriteBoth(folder, score, holder);
    keepIntent = keepIntent && error;
    return error;
}

// Sets the intent aside: removed, or emptied where this account may not
// remove it (an empty intent names no pair).
Result discardIntent(Folder &folder)
{
    if (folder.kind(intentFileName()) == Kind::Missing)
        return {};
    const Result removed = folder.remove(intentFileName());
    return removed.ok() ? removed : folder.overwrite(intentFileName(), QByteArray());
}

// Records the decided pair in the intent file, flushed, before anything
// of the old pair is touched.
Result commitIntent(Folder &folder, const QByteArray &score, const QByteArray &holder)
{
    const QByteArray bytes = intentBytes(score, holder);
    QString fresh;
    Result result = writeTemporary(folder, intentFileName(), bytes, intentFileName(), fresh);
    if (result.ok()) {
        result = folder.rename(fresh, intentFileName());
        if (!result.ok())
            folder.remove(fresh);
    }
    // Another pupil's intent in a folder with the sticky bit: written in
    // place. A torn intent names no pair, so a crash now keeps the old one.
    if (!result.ok() && folder.kind(intentFileName()) == Kind::Plain)
        result = folder.overwrite(intentFileName(), bytes);
    if (result.ok())
        folder.sync();
    return result;
}

std::optional<std::pair<QByteArray, QByteArray>> pendingPair(const Folder &folder)
{
    QByteArray bytes;
    if (folder.kind(intentFileName()) != Kind::Plain
        || !folder.read(intentFileName(), kMaxIntentBytes, bytes).ok())
        return std::nullopt;
    return parseIntent(bytes);
}

// What an earlier save left: an intent is completed, new files that never
// made it in are removed. Not while another copy holds the lock, so as not
// to undo its save under way. Gives the intent's pair when it could not
// be completed: that is the record, whatever the files hold.
std::optional<std::pair<QByteArray, QByteArray>> tidyUp(Folder &folder)
{
    if (const auto pair = pendingPair(folder)) {
        Staged staged;
        const bool renaming = renameable(folder)
            && stage(folder, pair->first, pair->second, staged).ok();
        bool keepIntent = false;
        if (apply(folder, pair->first, pair->second, renaming ? &staged : nullptr, keepIntent))
            return pair;
    }
    discardIntent(folder);
    for (const QString &name : folder.names()) {
        if (isTemporary(name))
            folder.remove(name);
    }
    return std::nullopt;
}

QString readName(const Folder &folder, const QString &name, Result &result)
{
    QByteArray bytes;
    result = folder.read(name, kMaxRecordFileBytes, bytes);
    if (result.problem == Problem::TooLarge) {
        result = {}; // not a record file: no record
        return QString();
    }
    return result.ok() ? decodeFile(bytes) : QString();
}

} // namespace

QString systemRecordFolder()
{
#ifdef Q_OS_WIN
    // Ask for the length first, so that no path is cut short.
    UINT length = GetWindowsDirectoryW(nullptr, 0);
    std::vector<wchar_t> buffer(length + 1);
    length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    return QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(length));
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/segni");
#endif
}

namespace {

// A path that names one folder whatever the current folder is. On Windows
// a drive letter without a separator after it ("C:Classe") is relative to
// that drive's current folder.
bool isFullPath(const QString &path)
{
#ifdef Q_OS_WIN
    const bool drive = path.size() >= 3 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':')
        && (path.at(2) == QLatin1Char('/') || path.at(2) == QLatin1Char('\\'));
    const bool share = path.startsWith(QLatin1String("//")) || path.startsWith(QLatin1String("\\\\"));
    return drive || share;
#else
    return !QDir::isRelativePath(path);
#endif
}

} // namespace

QStringList systemConfigFolders()
{
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders.removeAll(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return folders;
}

RecordFolder locateRecordFolder()
{
    // The system-wide folders only: the user's own configuration folder
    // comes first in the list and cannot choose for the whole class.
    const QStringList folders = systemConfigFolders();
    for (const QString &folder : folders) {
        const QString path = folder + QStringLiteral("/segni/segni.conf");
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        RecordFolder found;
        found.shared = true;
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            found.problem = FileError{path, QStringLiteral("non si può leggere")};
            return found;
        }
        file.close();
        QSettings settings(path, QSettings::IniFormat);
        if (settings.status() != QSettings::NoError) {
            found.problem = FileError{path, QStringLiteral("non è scritto come un file di impostazioni")};
            return found;
        }
        const QVariant value = settings.value(QStringLiteral("records/folder"));
        if (!value.isValid())
            continue;
        const QString chosen = value.toString().trimmed();
        if (chosen.isEmpty() || !isFullPath(chosen)) {
            found.problem = FileError{
                path, QStringLiteral("la chiave folder del gruppo [records] non indica un percorso "
                                     "completo di una cartella")
#ifdef Q_OS_WIN
                          // "C:\Classe" reads as "C:lasse": \C is an escape.
                          + QStringLiteral("; si scrive C:/Classe oppure C:\\\\Classe")
#endif
            };
            return found;
        }
        found.path = QDir::cleanPath(chosen);
        return found;
    }
    return RecordFolder{systemRecordFolder(), false, std::nullopt};
}

QString withTrailingSeparator(const QString &folder)
{
#ifdef Q_OS_WIN
    const QChar separator = QLatin1Char('\\');
    if (folder.endsWith(separator) || folder.endsWith(QLatin1Char('/')))
        return folder;
#else
    const QChar separator = QLatin1Char('/');
    if (folder.endsWith(separator))
        return folder;
#endif
    return folder + separator;
}

// Takes the lock; an unusable lock file is an error.
std::optional<FileError> lockFolder(Folder &folder, Lock &lock, int waitMs, Lock::State &state)
{
    Result result;
    state = lock.acquire(folder, lockFileName(), waitMs, result);
    if (state == Lock::State::Busy)
        return errorAt(folder, scoreFileName(), result);
    if (!result.ok())
        return errorAt(folder, lockFileName(), result);
    return std::nullopt;
}

Loaded loadRecord(const QString &cartella, bool createFolder)
{
    Loaded loaded;
    Folder folder;
    if ((loaded.error = openFolder(folder, cartella, createFolder)))
        return loaded;
    // Under the lock, so that a pair being saved is never read half-way.
    Lock lock;
    Lock::State state;
    if (auto error = lockFolder(folder, lock, kLockWaitMs, state); error && !error->busy) {
        loaded.error = error;
        return loaded;
    }
    if ((loaded.error = checkKinds(folder, {scoreFileName(), holderFileName(), intentFileName()})))
        return loaded;
    // While another copy has been saving for a while, the pair it is
    // putting in place is the one to show. Otherwise the lock is held, or
    // there is none to be had (a folder that takes no new file, a file
    // system without locks).
    const auto pending = state == Lock::State::Busy ? pendingPair(folder) : tidyUp(folder);
    if (pending) {
        loaded.record = {decodeFile(pending->first), decodeFile(pending->second)};
        return loaded;
    }
    for (const QString &name : {scoreFileName(), holderFileName()}) {
        if (folder.kind(name) != Kind::Missing)
            continue;
        const Result created = folder.createEmpty(name);
        if (!created.ok() && folder.kind(name) == Kind::Missing) {
            loaded.error = errorAt(folder, name, created);
            return loaded;
        }
    }
    for (const auto &[name, text] : {std::pair{scoreFileName(), &loaded.record.score},
                                     std::pair{holderFileName(), &loaded.record.holder}}) {
        Result read;
        *text = readName(folder, name, read);
        if (!read.ok()) {
            loaded.record = {};
            loaded.error = errorAt(folder, name, read);
            return loaded;
        }
    }
    // A save needs new files in the folder, or else both files writable.
    if (!folder.writable() && !(folder.writable(scoreFileName()) && folder.writable(holderFileName())))
        loaded.readOnly = errorAt(folder, folder.writable(scoreFileName()) ? holderFileName()
                                                                           : scoreFileName(),
                                  {Problem::Denied, 0});
    return loaded;
}

std::optional<FileError> saveRecord(const QString &cartella, const QString &score,
                                    const QString &holder, bool createFolder, int lockWaitMs)
{
    Folder folder;
    if (auto error = openFolder(folder, cartella, createFolder))
        return error;
    Lock lock;
    Lock::State state;
    if (auto error = lockFolder(folder, lock, lockWaitMs, state))
        return error;
    // Both or neither: nothing is touched unless every name is usable.
    if (auto error = checkKinds(folder, {scoreFileName(), holderFileName(), intentFileName()}))
        return error;

    const QByteArray scoreBytes = encodeLine(score);
    const QByteArray holderBytes = encodeLine(holder);
    // The new pair beside the old one, where the folder takes new files
    // and this account may rename over the old ones.
    Staged staged;
    bool renaming = renameable(folder);
    if (renaming) {
        const Result result = stage(folder, scoreBytes, holderBytes, staged);
        if (!result.ok() && result.problem != Problem::Denied)
            return errorAt(folder, scoreFileName(), result);
        renaming = result.ok();
    }
    // The decision, before anything of the old pair changes: a crash from
    // here on is completed at the next start.
    Result decided = commitIntent(folder, scoreBytes, holderBytes);
    if (!decided.ok()) {
        if (renaming) {
            folder.remove(staged.score);
            folder.remove(staged.holder);
            return errorAt(folder, intentFileName(), decided);
        }
        // A folder where only the record files may be written: both are
        // written in place, with no intent. One left by an earlier save
        // must go first, or the next start would put its pair back.
        decided = discardIntent(folder);
        if (!decided.ok())
            return errorAt(folder, intentFileName(), decided);
        bool keepIntent = false;
        return apply(folder, scoreBytes, holderBytes, nullptr, keepIntent);
    }
    bool keepIntent = false;
    if (auto error = apply(folder, scoreBytes, holderBytes, renaming ? &staged : nullptr, keepIntent)) {
        if (!keepIntent)
            discardIntent(folder);
        return error;
    }
    // Should this removal not reach the disk, the next start puts the same
    // pair in place again.
    discardIntent(folder);
    return std::nullopt;
}

QString readRecordFile(const QString &path)
{
    const QFileInfo info(path);
    Folder folder;
    if (!folder.open(info.path()).ok())
        return QString();
    Result result;
    return readName(folder, info.fileName(), result);
}

QByteArray encodeLine(const QString &text)
{
#ifdef Q_OS_WIN
    QByteArray bytes = text.toLocal8Bit();
#else
    QByteArray bytes = text.toUtf8();
#endif
    bytes.append("\r\n", 2);
    return bytes;
}

QString decodeFile(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    return QString::fromLocal8Bit(bytes);
#else
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
#endif
}

} // namespace segni::records
