// The record in a web page: one item of the browser's local storage, kept
// per browser profile and site across reloads and restarts. The item holds
// the whole pair, so a save is whole or absent: the browser replaces an
// item in one step. Each text is held exactly as its record file would
// hold it (the bytes of the text and CR LF, read as UTF-8), as JSON:
//
//   {"marvo.txt":"12\r\n","nmarvo.txt":"Anna\r\n"}
//
// There is no class folder here: every pupil of a browser profile plays
// against that profile's record.

#include "recordstore.h"

#include <QJsonDocument>
#include <QJsonObject>

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
    return RecordFolder{QString::fromLatin1(kStorageName), false, std::nullopt};
}

QString withTrailingSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

Loaded loadRecord(const QString &cartella, bool)
{
    return readStored(cartella);
}

std::optional<FileError> saveRecord(const QString &cartella, const QString &score,
                                    const QString &holder, bool, int)
{
    QJsonObject pair;
    pair.insert(scoreFileName(), QString::fromUtf8(encodeLine(score)));
    pair.insert(holderFileName(), QString::fromUtf8(encodeLine(holder)));
    const QByteArray text = QJsonDocument(pair).toJson(QJsonDocument::Compact);
    const BrowserText refused(segniStorageWrite(kStorageKey, text.constData()));
    if (refused)
        return storageError(cartella);
    return std::nullopt;
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
