// One HTTP request of the record's web store, made without waiting: the
// desktop's goes through Qt's network access, the page's through the
// browser's fetch. Either ends on its own after the given time.
#pragma once

#include "base/task.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace segni::records {

struct WebRequest
{
    QByteArray method; // GET, PUT or DELETE
    QString url;
    QByteArray ifMatch;       // the ETag the PUT expects, or empty
    bool ifNoneMatch = false; // PUT only where nothing is yet
    QByteArray body;
};

struct WebReply
{
    // The HTTP status; 0 when no answer came (no connection, timeout).
    int status = 0;
    QByteArray etag;
    QByteArray location; // where a redirect points
    QByteArray body;
    // The body went beyond the size asked for; it was not read.
    bool tooLarge = false;
};

// A request under way. Destroying it abandons the request: its callback
// is then never called.
class WebExchange
{
public:
    virtual ~WebExchange() = default;
};

// Starts a request; its body is read up to maxBodyBytes. done is called
// once, from the event loop, when the reply (or its absence) is known.
std::unique_ptr<WebExchange> startWebExchange(const WebRequest &request, int timeoutMs,
                                              qint64 maxBodyBytes,
                                              std::function<void(WebReply)> done);

// A request, awaited.
inline Task<WebReply> exchange(WebRequest request, int timeoutMs, qint64 maxBodyBytes)
{
    std::unique_ptr<WebExchange> underWay;
    const WebReply reply = co_await Answer<WebReply>([&](Answer<WebReply>::Callback done) {
        underWay = startWebExchange(request, timeoutMs, maxBodyBytes, std::move(done));
    });
    co_return reply;
}

} // namespace segni::records
