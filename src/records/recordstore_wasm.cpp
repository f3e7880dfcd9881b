// The record in a web page: one item of the browser's local storage, kept
// per browser profile and site across reloads and restarts. The item holds
// the whole pair, so a save is whole or absent: the browser replaces an
// item in one step. A save reads the item, compares and writes while it
// holds the page's lock on the record (navigator.locks, where the browser
// has it), so two tabs of one profile ending together keep the higher
// score; while another tab holds it, the save is busy and is tried again. Each text is held as its record file would read back (the text
// and CR LF), as JSON:
//
//   {"marvo.txt":"12\r\n","nmarvo.txt":"Anna\r\n"}
//
// There is no class folder here: every pupil of a browser profile plays
// against that profile's record.

#include "recordstore.h"

#include "recordweb.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryFile>

#include <emscripten.h>

#include <cstdlib>
#include <memory>

// The browser may refuse its storage (a profile or policy that blocks
// site data, a full quota): these return what it said instead of failing.
EM_JS_DEPS(segni_records, "$stringToNewUTF8,$UTF8ToString");

// 1 with the item's text in *text; 0 when there is none; -1 with the
// browser's reason in *text.
EM_JS(int, segniStorageRead, (const char *key, char **text), {
    try {
        const item = localStorage.getItem(UTF8ToString(key));
        if (item === null)
            return 0;
        HEAPU32[text >> 2] = stringToNewUTF8(item);
        return 1;
    } catch (e) {
        HEAPU32[text >> 2] = stringToNewUTF8(String((e && e.name) || e));
        return -1;
    }
});

// The page's lock on the record, shared by every tab of this site, where
// the browser has such locks (a page served over https or from localhost).
// 1: held now, or there are no such locks; 0: asked for, not yet granted
// (another tab is saving). The page never waits here: the game asks again
// after a pause, letting the browser run. A lock granted but not claimed
// within five seconds (the game went meanwhile) is let go.
EM_JS(int, segniStorageLock, (), {
    if (!(navigator.locks && navigator.locks.request))
        return 1;
    const lock = globalThis.segniRecordLock || (globalThis.segniRecordLock = {state: "free"});
    if (lock.state === "granted")
        return 1;
    if (lock.state === "free") {
        lock.state = "asked";
        navigator.locks.request("segni/record", () => new Promise(release => {
            lock.state = "granted";
            lock.release = () => {
                clearTimeout(lock.timer);
                lock.state = "free";
                lock.release = null;
                release();
            };
            lock.timer = setTimeout(lock.release, 5000);
        })).catch(() => { lock.state = "free"; });
    }
    return 0;
});

EM_JS(void, segniStorageUnlock, (), {
    const lock = globalThis.segniRecordLock;
    if (lock && lock.release)
        lock.release();
});

// Null when stored; else the browser's reason.
EM_JS(char *, segniStorageWrite, (const char *key, const char *text), {
    try {
        localStorage.setItem(UTF8ToString(key), UTF8ToString(text));
        return 0;
    } catch (e) {
        return stringToNewUTF8(String((e && e.name) || e));
    }
});

namespace segni::records {

namespace {

// The item's key in the page's local storage.
const char *const kStorageKey = "segni/record";

// What the messages call the record's place, in place of a folder.
const char *const kStorageName = "localStorage";

struct Freed
{
    void operator()(char *text) const { std::free(text); }
};
using BrowserText = std::unique_ptr<char, Freed>;

FileError storageError(const QString &cartella)
{
    return FileError{cartella + QString::fromLatin1(kStorageKey), Problem::StorageRefused};
}

// One text of the stored pair; an entry that is missing, of another kind
// or larger than a record file counts as an empty file, as a damaged file
// does on a desktop.
QString storedText(const QJsonObject &pair, const QString &name)
{
    const QString text = pair.value(name).toString();
    return text.toUtf8().size() > kMaxRecordFileBytes ? QString() : text;
}

// The stored pair, or why the browser refused it. No item yet reads as
// the two empty files a desktop creates.
Loaded readStored(const QString &cartella)
{
    char *raw = nullptr;
    const int found = segniStorageRead(kStorageKey, &raw);
    const BrowserText text(raw);
    Loaded loaded;
    if (found < 0)
        loaded.error = storageError(cartella);
    if (found <= 0)
        return loaded;
    const QJsonObject pair = QJsonDocument::fromJson(QByteArray(text.get())).object();
    loaded.record = {storedText(pair, scoreFileName()), storedText(pair, holderFileName())};
    return loaded;
}

} // namespace

RecordFolder locateRecordFolder()
{
    // A school keeps the class's record on its server by putting a
    // segni.conf beside the page, as a desktop's administrator does.
    const QString settingsUrl = QStringLiteral("segni.conf");
    const WebReply setting = getWebText(settingsUrl, 16 * 1024);
    if (setting.status == 200 && !setting.tooLarge) {
        QTemporaryFile file;
        if (file.open() && file.write(setting.body) == setting.body.size() && file.flush()) {
            const QSettings settings(file.fileName(), QSettings::IniFormat);
            if (settings.status() != QSettings::NoError)
                return RecordFolder{QString(), true, FileError{settingsUrl, Problem::NotSettings}};
            if (auto server = urlSetting(settings, settingsUrl))
                return *server;
        }
    } else if (setting.status != 404) {
        // Whether the school set a record on its server is unknown: the
        // browser's own is not used in its place.
        return RecordFolder{QString(), true,
                            FileError{settingsUrl, setting.status == 0 ? Problem::Unreachable
                                                                       : Problem::HttpStatus,
                                      setting.status}};
    }
    return RecordFolder{QString::fromLatin1(kStorageName), false, std::nullopt};
}

QString withTrailingSeparator(const QString &folder)
{
    if (isRecordUrl(folder))
        return folder;
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

Loaded loadRecord(const QString &cartella, bool)
{
    if (isRecordUrl(cartella))
        return loadWebRecord(cartella);
    return readStored(cartella);
}

Saved saveRecord(const QString &cartella, const QString &score, const QString &holder, bool,
                 int)
{
    if (isRecordUrl(cartella))
        return saveWebRecord(cartella, score, holder);
    if (segniStorageLock() != 1)
        return {FileError{cartella + QString::fromLatin1(kStorageKey), Problem::Busy}, {}};
    struct Unlock
    {
        ~Unlock() { segniStorageUnlock(); }
    } unlock;
    // Another tab may have saved since this game read the record.
    const Loaded stored = readStored(cartella);
    if (stored.error)
        return {stored.error, {}};
    if (!beatsStoredScore(stored.record.score, score))
        return {std::nullopt, stored.record};
    QJsonObject pair;
    pair.insert(scoreFileName(), decodeFile(encodeLine(score)));
    pair.insert(holderFileName(), decodeFile(encodeLine(holder)));
    const QByteArray text = QJsonDocument(pair).toJson(QJsonDocument::Compact);
    const BrowserText refused(segniStorageWrite(kStorageKey, text.constData()));
    if (refused)
        return {storageError(cartella), {}};
    return {};
}

std::optional<Record> peekRecord(const QString &cartella)
{
    if (isRecordUrl(cartella))
        return peekWebRecord(cartella);
    const Loaded stored = readStored(cartella);
    if (stored.error)
        return std::nullopt;
    return stored.record;
}

QString readRecordFile(const QString &path)
{
    const QString name = path.section(QLatin1Char('/'), -1);
    const Record record = readStored(path.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/')).record;
    if (name == scoreFileName())
        return record.score;
    if (name == holderFileName())
        return record.holder;
    return QString();
}

} // namespace segni::records
