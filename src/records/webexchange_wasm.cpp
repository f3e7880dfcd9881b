// A request of the record's web store through the browser's fetch: the
// page needs no network library of its own. The request runs in the
// browser, which calls back when it has finished.

#include "webexchange.h"

#include "browsercall_wasm.h"

#include <emscripten.h>

#include <cstdlib>

EM_JS_DEPS(segni_web_exchange, "$stringToNewUTF8,$UTF8ToString");

// Starts a request under the program's number for it, and calls back with
// that number when it is done. Its outcome is kept until taken: {status,
// etag, location, body (bytes), tooLarge}; status 0 when no answer came.
EM_JS(void, segniFetchStart,
      (int id, const char *method, const char *url, const char *ifMatch, int ifNoneMatch,
       const char *body, int bodySize, int timeoutMs, int maxBytes), {
    const all = globalThis.segniFetches || (globalThis.segniFetches = {kept: {}});
    const kept = all.kept[id] = {done: false, status: 0, etag: "", location: "",
                                 body: new Uint8Array(0), tooLarge: false,
                                 abort: new AbortController()};
    const headers = {"Cache-Control": "no-cache"};
    const match = UTF8ToString(ifMatch);
    if (match)
        headers["If-Match"] = match;
    if (ifNoneMatch)
        headers["If-None-Match"] = "*";
    const verb = UTF8ToString(method);
    const options = {method: verb, headers, cache: "no-store", redirect: "manual",
                     credentials: "same-origin", signal: kept.abort.signal};
    if (verb === "PUT") {
        headers["Content-Type"] = "text/plain; charset=utf-8";
        options.body = HEAPU8.slice(body, body + bodySize);
    }
    const timer = setTimeout(() => kept.abort.abort(), timeoutMs);
    (async () => {
        try {
            const response = await fetch(UTF8ToString(url), options);
            kept.status = response.status;
            kept.etag = response.headers.get("ETag") || "";
            kept.location = response.headers.get("Location") || "";
            const length = Number(response.headers.get("Content-Length") || 0);
            if (length > maxBytes) {
                kept.tooLarge = true;
                kept.abort.abort();
            } else {
                const reader = response.body ? response.body.getReader() : null;
                const parts = [];
                let size = 0;
                while (reader) {
                    const {done, value} = await reader.read();
                    if (done)
                        break;
                    size += value.length;
                    if (size > maxBytes) {
                        kept.tooLarge = true;
                        kept.abort.abort();
                        break;
                    }
                    parts.push(value);
                }
                if (!kept.tooLarge) {
                    kept.body = new Uint8Array(size);
                    let at = 0;
                    for (const part of parts) {
                        kept.body.set(part, at);
                        at += part.length;
                    }
                }
            }
        } catch (e) {
            if (!kept.tooLarge)
                kept.status = 0;
        }
        clearTimeout(timer);
        kept.done = true;
        if (all.kept[id] === kept)
            _segniBrowserCalled(id, kept.status);
    })();
});

// The outcome's status; its ETag, Location and body in new buffers (freed
// by the caller).
EM_JS(int, segniFetchTake,
      (int id, char **etag, char **location, char **body, int *bodySize, int *tooLarge), {
    const kept = globalThis.segniFetches.kept[id];
    HEAPU32[etag >> 2] = stringToNewUTF8(kept.etag);
    HEAPU32[location >> 2] = stringToNewUTF8(kept.location);
    const copy = _malloc(kept.body.length + 1);
    HEAPU8.set(kept.body, copy);
    HEAPU32[body >> 2] = copy;
    HEAP32[bodySize >> 2] = kept.body.length;
    HEAP32[tooLarge >> 2] = kept.tooLarge ? 1 : 0;
    return kept.status;
});

EM_JS(void, segniFetchForget, (int id), {
    const kept = globalThis.segniFetches.kept[id];
    if (kept && !kept.done)
        kept.abort.abort();
    delete globalThis.segniFetches.kept[id];
});

namespace segni::records {

namespace {

WebReply takeReply(int id)
{
    char *etag = nullptr;
    char *location = nullptr;
    char *body = nullptr;
    int bodySize = 0;
    int tooLarge = 0;
    WebReply result;
    result.status = segniFetchTake(id, &etag, &location, &body, &bodySize, &tooLarge);
    result.etag = QByteArray(etag);
    result.location = QByteArray(location);
    result.body = QByteArray(body, bodySize);
    result.tooLarge = tooLarge != 0;
    std::free(etag);
    std::free(location);
    std::free(body);
    return result;
}

class BrowserExchange final : public WebExchange
{
public:
    BrowserExchange(const WebRequest &request, int timeoutMs, qint64 maxBodyBytes,
                    std::function<void(WebReply)> done)
        : m_call([done = std::move(done)](int number, int) {
            const WebReply reply = takeReply(number);
            segniFetchForget(number);
            done(reply);
        })
    {
        const QByteArray url = request.url.toUtf8();
        segniFetchStart(m_call.number(), request.method.constData(), url.constData(),
                        request.ifMatch.constData(), request.ifNoneMatch ? 1 : 0,
                        request.body.constData(), int(request.body.size()), timeoutMs,
                        int(maxBodyBytes));
    }

    ~BrowserExchange() override { segniFetchForget(m_call.number()); }

private:
    BrowserCall m_call;
};

} // namespace

std::unique_ptr<WebExchange> startWebExchange(const WebRequest &request, int timeoutMs,
                                              qint64 maxBodyBytes,
                                              std::function<void(WebReply)> done)
{
    return std::make_unique<BrowserExchange>(request, timeoutMs, maxBodyBytes, std::move(done));
}

} // namespace segni::records
