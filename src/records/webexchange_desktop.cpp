// A request of the record's web store through Qt's network access.

#include "webexchange.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

namespace segni::records {

namespace {

QNetworkAccessManager &network()
{
    // Owned by the application, so that it goes before Qt does.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

class QtExchange final : public WebExchange
{
public:
    QtExchange(const WebRequest &request, int timeoutMs, qint64 maxBodyBytes,
               std::function<void(WebReply)> done)
        : m_maxBody(maxBodyBytes)
        , m_done(std::move(done))
    {
        QNetworkRequest asked{QUrl(request.url)};
        asked.setRawHeader("Cache-Control", "no-cache");
        // The body as the server keeps it: a compressed one (which Qt
        // would undo) has a weak ETag, which no save can rely on.
        asked.setRawHeader("Accept-Encoding", "identity");
        asked.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                           QNetworkRequest::AlwaysNetwork);
        asked.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                           QNetworkRequest::ManualRedirectPolicy);
        asked.setTransferTimeout(timeoutMs);
        if (!request.ifMatch.isEmpty())
            asked.setRawHeader("If-Match", request.ifMatch);
        if (request.ifNoneMatch)
            asked.setRawHeader("If-None-Match", "*");
        if (request.method == "PUT") {
            asked.setHeader(QNetworkRequest::ContentTypeHeader,
                            QByteArrayLiteral("text/plain; charset=utf-8"));
            m_reply = network().put(asked, request.body);
        } else if (request.method == "DELETE") {
            m_reply = network().deleteResource(asked);
        } else {
            m_reply = network().get(asked);
        }
        QObject::connect(m_reply, &QNetworkReply::readyRead, m_reply, [this] { take(); });
        QObject::connect(m_reply, &QNetworkReply::finished, m_reply, [this] {
            take();
            finish();
        });
        // The transfer timeout counts from the last byte; this bounds the
        // whole request.
        QTimer::singleShot(2 * timeoutMs, m_reply, [reply = m_reply] { reply->abort(); });
    }

    ~QtExchange() override
    {
        if (m_reply) {
            m_reply->disconnect();
            m_reply->abort();
            m_reply->deleteLater();
        }
    }

private:
    // The reply goes to whoever waits from the event loop, once the
    // network's own signal is over: the waiting flow may well end this
    // exchange.
    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [alive = std::weak_ptr<QtExchange *>(m_alive), reply = reply()] {
                if (const auto self = alive.lock())
                    (*self)->m_done(reply);
            },
            Qt::QueuedConnection);
    }

    WebReply reply() const
    {
        WebReply result;
        if (!m_reply)
            return result;
        if (m_reply->error() != QNetworkReply::NoError
            && m_reply->error() < QNetworkReply::ContentAccessDenied && !m_tooLarge)
            return result; // no answer: connection, timeout, abort
        result.status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.etag = m_reply->rawHeader("ETag");
        result.location = m_reply->rawHeader("Location");
        result.body = m_body;
        result.tooLarge = m_tooLarge;
        return result;
    }

    void take()
    {
        if (m_tooLarge || !m_reply->isOpen())
            return;
        m_body += m_reply->readAll();
        if (m_body.size() > m_maxBody) {
            m_tooLarge = true;
            m_body.clear();
            m_reply->abort();
        }
    }

    // Gone with the application, if the program ends first.
    QPointer<QNetworkReply> m_reply;
    qint64 m_maxBody;
    QByteArray m_body;
    bool m_tooLarge = false;
    bool m_finished = false;
    std::function<void(WebReply)> m_done;
    std::shared_ptr<QtExchange *> m_alive = std::make_shared<QtExchange *>(this);
};

} // namespace

std::unique_ptr<WebExchange> startWebExchange(const WebRequest &request, int timeoutMs,
                                              qint64 maxBodyBytes,
                                              std::function<void(WebReply)> done)
{
    return std::make_unique<QtExchange>(request, timeoutMs, maxBodyBytes, std::move(done));
}

} // namespace segni::records
