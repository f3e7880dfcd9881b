// One HTTP request of the record's web store, made without waiting: the
// desktop's goes through Qt's network access, the page's through the
// browser's fetch. Either ends on its own after the given time.
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace segni::records {

struct WebRequest
{
    QByteArray method; // GET or PUT
    QString url;
    QByteArray ifMatch;     // the ETag the PUT expects, or empty
    bool ifNoneMatch = false; // PUT only where nothing is yet
    QByteArray body;
};

struct WebReply
{
    // The HTTP status; 0 when no answer came (no connection, timeout).
    int status = 0;
    QByteArray etag;
    QByteArray body;
    // The body went beyond the size asked for; it was not read.
    bool tooLarge = false;
};

class WebExchange
{
public:
    virtual ~WebExchange() = default;
    virtual bool finished() const = 0;
    // Once finished.
    virtual WebReply reply() const = 0;
};

// Starts a request; its body is read up to maxBodyBytes.
std::unique_ptr<WebExchange> startWebExchange(const WebRequest &request, int timeoutMs,
                                              qint64 maxBodyBytes);

} // namespace segni::records
