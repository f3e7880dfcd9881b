// The record in a web page: one item of the browser's local storage, kept
// per browser profile and site across reloads and restarts. The item holds
// the whole pair, so a save is whole or absent: the browser replaces an
// item in one step. A save reads the item and writes it while it holds the
// page's lock on the record (navigator.locks, where the browser has it),
// so two tabs of one profile ending together keep the higher score; while
// another tab holds it, the save pauses and tries again. Each text is held
// as its record file would read back (the text and CR LF), as JSON:
//
//   {"marvo.txt":"12\r\n","nmarvo.txt":"Anna\r\n"}
//
// There is no class folder here: every pupil of a browser profile plays
// against that profile's record.

#include "browsercall_wasm.h"
#include "openstore.h"
#include "recordtext.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <emscripten.h>

#include <cstdlib>
#include <memory>

// The browser may refuse its storage (a profile or policy that blocks
// site data, a full quota): these return what it said instead of failing.
EM_JS_DEPS(segni_records, "$stringToNewUTF8,$UTF8ToString");

// 1 with the item's text in *text; 0 when there is none; -1 when the
// browser refused.
EM_JS(int, segniStorageRead, (const char *key, char **text), {
    try {
        const item = localStorage.getItem(UTF8ToString(key));
        if (item === null)
            return 0;
        HEAPU32[text >> 2] = stringToNewUTF8(item);
        return 1;
    } catch (e) {
        return -1;
    }
});

// 1 when stored; 0 when the browser refused.
EM_JS(int, segniStorageWrite, (const char *key, const char *text), {
    try {
        localStorage.setItem(UTF8ToString(key), UTF8ToString(text));
        return 1;
    } catch (e) {
        return 0;
    }
});

// Asks for the page's lock on the record, shared by every tab of this site,
// where the browser has such locks (a page served over https or from
// localhost), without waiting for it: calls back with 1 when it is held
// (or there are no such locks), 0 when another tab holds it. A request is
// kept under its number while it waits and while the lock is held, and
// calls back only while it is kept.
EM_JS(void, segniLockRequest, (int id), {
    if (!(navigator.locks && navigator.locks.request)) {
        _segniBrowserCalled(id, 1);
        return;
    }
    const locks = globalThis.segniLocks || (globalThis.segniLocks = {});
    const asked = locks[id] = {release: null};
    const kept = () => locks[id] === asked;
    navigator.locks.request("segni/record", {ifAvailable: true}, lock => {
        if (!kept())
            return;
        if (!lock) {
            delete locks[id];
            _segniBrowserCalled(id, 0);
            return;
        }
        return new Promise(release => {
            asked.release = release;
            _segniBrowserCalled(id, 1);
        });
    }).catch(() => {
        if (kept()) {
            delete locks[id];
            _segniBrowserCalled(id, 0);
        }
    });
});

// Forgets the request: lets the lock go, or, when it has not come yet,
// lets it go as it comes. A request already answered without the lock is
// forgotten already.
EM_JS(void, segniLockRelease, (int id), {
    const locks = globalThis.segniLocks;
    const asked = locks && locks[id];
    if (!asked)
        return;
    delete locks[id];
    if (asked.release)
        asked.release();
});

namespace segni::records {

namespace {

// The item's key in the page's local storage.
const char *const kStorageKey = "segni/record";
const QString kScoreName = QStringLiteral("marvo.txt");
const QString kHolderName = QStringLiteral("nmarvo.txt");

struct Freed
{
    void operator()(char *text) const { std::free(text); }
};
using BrowserText = std::unique_ptr<char, Freed>;

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
Loaded readStored()
{
    char *raw = nullptr;
    const int found = segniStorageRead(kStorageKey, &raw);
    const BrowserText text(raw);
    Loaded loaded;
    if (found < 0)
        loaded.error = BrowserError{BrowserProblem::StorageRefused};
    if (found <= 0)
        return loaded;
    const QJsonObject pair = QJsonDocument::fromJson(QByteArray(text.get())).object();
    loaded.record = {storedText(pair, kScoreName), storedText(pair, kHolderName)};
    return loaded;
}

// The page's lock asked for, until a save's try takes it: a flow that
// goes while it waits lets the lock go whenever it comes.
struct LockRequest
{
    std::unique_ptr<BrowserCall> call;

    ~LockRequest()
    {
        if (call)
            segniLockRelease(call->number());
    }

    // 1 when the lock is held; called back from the browser.
    Answer<int> ask()
    {
        return Answer<int>([this](Answer<int>::Callback done) {
            call = std::make_unique<BrowserCall>(
                [done = std::move(done)](int, int held) { done(held); });
            segniLockRequest(call->number());
        });
    }
};

// A save's try: the lock held, under its request's number, and the pair
// read under it.
class BrowserSaveTry final : public SaveTry
{
public:
    BrowserSaveTry(std::unique_ptr<BrowserCall> lock, Record stored)
        : m_lock(std::move(lock))
        , m_stored(std::move(stored))
    {
    }
    ~BrowserSaveTry() override { segniLockRelease(m_lock->number()); }

    const Record &stored() const override { return m_stored; }

    Task<Written> write(const QString &score, const QString &holder) override
    {
        Written outcome;
        outcome.pair = Record{decodeFile(encodeLine(score)), decodeFile(encodeLine(holder))};
        QJsonObject pair;
        pair.insert(kScoreName, outcome.pair->score);
        pair.insert(kHolderName, outcome.pair->holder);
        const QByteArray text = QJsonDocument(pair).toJson(QJsonDocument::Compact);
        if (segniStorageWrite(kStorageKey, text.constData()) != 1)
            outcome.error = BrowserError{BrowserProblem::StorageRefused};
        co_return outcome;
    }

private:
    std::unique_ptr<BrowserCall> m_lock;
    Record m_stored;
};

class BrowserStore final : public RecordStore
{
public:
    Task<Loaded> load() override { co_return readStored(); }

    Task<std::optional<Record>> peek() override
    {
        const Loaded stored = readStored();
        if (stored.error)
            co_return std::nullopt;
        co_return stored.record;
    }

    Task<Begun> beginSave() override
    {
        Begun begun;
        LockRequest lock;
        const int held = co_await lock.ask();
        if (held != 1) {
            begun.busy = true;
            co_return begun;
        }
        // Another tab may have saved since this game read the record.
        const Loaded stored = readStored();
        if (stored.error) {
            begun.error = stored.error;
            co_return begun;
        }
        begun.held = std::make_unique<BrowserSaveTry>(std::move(lock.call), stored.record);
        co_return begun;
    }

    StoreError busyError() const override { return BrowserError{BrowserProblem::Busy}; }
};

} // namespace

std::unique_ptr<RecordStore> openLocalStore(const RecordPlace &, Pause)
{
    return std::make_unique<BrowserStore>();
}

} // namespace segni::records
