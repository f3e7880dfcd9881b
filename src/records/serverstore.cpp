#include "serverstore.h"

#include "webexchange.h"

#include <QStringDecoder>
#include <QUrl>

namespace segni::records {

namespace {

// An If-Match that no resource's ETag can match: a server that still takes
// the PUT ignores the condition.
const QByteArray kNeverMatches = QByteArrayLiteral("\"segni-check-never-matches\"");
const QByteArray kCheckBody = QByteArrayLiteral("segni-check\r\n");

ServerError serverError(const QString &url, ServerProblem problem, int status = 0)
{
    return ServerError{url, problem, status, {}};
}

bool isFormat(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Other_Format
        || category == QChar::Separator_Line || category == QChar::Separator_Paragraph
        || category == QChar::Other_Surrogate || category == QChar::Other_NotAssigned;
}

QString lineText(QString text)
{
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

// What a GET found.
struct Stored
{
    std::optional<ServerError> error;
    Record record;     // no record: two empty texts
    QByteArray etag;   // empty: there is no resource yet
    QByteArray body;   // as served
    bool weak = false; // its version was weak (the error says so)
};

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Stored fromReply(const QString &url, const WebReply &reply)
{
    Stored stored;
    if (reply.status == 404)
        return stored;
    if (reply.status == 0) {
        stored.error = serverError(url, ServerProblem::Unreachable);
    } else if (isRedirect(reply.status)) {
        stored.error = ServerError{url, ServerProblem::Moved, reply.status, reply.location};
    } else if (reply.status == 401 || reply.status == 403) {
        stored.error = serverError(url, ServerProblem::NeedsPassword, reply.status);
    } else if (reply.status != 200) {
        stored.error = serverError(url, ServerProblem::Status, reply.status);
    } else if (!isStrongEtag(reply.etag)) {
        stored.error = serverError(url, ServerProblem::NoStrongEtag);
        stored.weak = reply.etag.startsWith("W/");
        stored.body = reply.body;
    } else {
        stored.etag = reply.etag;
        stored.body = reply.body;
        if (!reply.tooLarge) {
            if (const auto record = parseWebRecord(reply.body))
                stored.record = *record;
        }
    }
    return stored;
}

// Coroutines are called with named arguments only: GCC 12 destroys a
// braced temporary passed to one twice.
Task<Stored> readStored(QString url)
{
    const WebRequest get{"GET", url, {}, false, {}};
    const WebReply reply = co_await exchange(get, kWebTimeoutMs, kMaxWebRecordBytes);
    co_return fromReply(url, reply);
}

// Reads the record until its version is strong, for a moment at most: a
// weak one means the record changed within the last second.
Task<Stored> readSettled(QString url, Pause pause)
{
    Stored stored = co_await readStored(url);
    for (int waited = 0; stored.weak && waited < kWeakEtagWaitMs; waited += 250) {
        co_await pause(250);
        stored = co_await readStored(url);
    }
    co_return stored;
}

// A save's try: the pair read with its ETag, replaced only where the
// server still holds that version.
class ServerSaveTry final : public SaveTry
{
public:
    ServerSaveTry(QString url, Pause pause, Stored stored)
        : m_url(std::move(url))
        , m_pause(std::move(pause))
        , m_stored(std::move(stored))
    {
    }

    const Record &stored() const override { return m_stored.record; }

    Task<Written> write(const QString &score, const QString &holder) override
    {
        Written outcome;
        const QByteArray body = webRecordBody(score, holder);
        // Nothing is written that a game could not read back as a record.
        outcome.pair = parseWebRecord(body);
        if (!outcome.pair) {
            outcome.error = serverError(m_url, ServerProblem::NotARecord);
            co_return outcome;
        }
        const WebRequest put{"PUT", m_url, m_stored.etag, m_stored.etag.isEmpty(), body};
        const WebReply reply = co_await exchange(put, kWebTimeoutMs, 1024);
        const bool accepted = reply.status >= 200 && reply.status < 300;
        const bool unanswered = reply.status == 0;
        if (!accepted && !unanswered && reply.status != 412) {
            outcome.error = serverError(m_url, ServerProblem::Status, reply.status);
            co_return outcome;
        }
        // What the server holds once its version has settled is what counts:
        // a PUT it applied but whose answer was lost comes back as a 412 when
        // Qt sends it again, or with no answer at all; and a server whose
        // condition check does not hold its write back (Apache) may let
        // another save in after it.
        const Stored now = co_await readSettled(m_url, m_pause);
        if (now.error && !now.weak) {
            // This save's own answer is all there is to go by.
            if (unanswered)
                outcome.error = serverError(m_url, ServerProblem::Unreachable);
            else
                outcome.overtaken = !accepted;
            co_return outcome;
        }
        if (now.body == body)
            co_return outcome;
        // Not its own: another save's came in (it decides again), or, with
        // no answer and the record as it was, this one never arrived.
        if (unanswered && now.etag == m_stored.etag)
            outcome.error = serverError(m_url, ServerProblem::Unreachable);
        else
            outcome.overtaken = true;
        co_return outcome;
    }

private:
    QString m_url;
    Pause m_pause;
    Stored m_stored;
};

} // namespace

QString checkAddress(const QString &url)
{
    // On the path, so that a query or a fragment cannot make it the record.
    QUrl address(url);
    address.setPath(address.path() + QStringLiteral(".segni-check"));
    return address.toString();
}

bool isStrongEtag(const QByteArray &etag)
{
    return etag.size() >= 2 && etag.startsWith('"') && etag.endsWith('"');
}

QByteArray webRecordBody(const QString &score, const QString &holder)
{
    QString name;
    for (const QChar c : lineText(holder)) {
        if (!isFormat(c))
            name += c;
    }
    // Never cut a character in two.
    if (name.size() > kMaxWebHolderChars) {
        int end = kMaxWebHolderChars;
        if (name.at(end - 1).isHighSurrogate())
            --end;
        name.truncate(end);
    }
    return lineText(score).trimmed().toUtf8() + "\r\n" + name.toUtf8() + "\r\n";
}

std::optional<Record> parseWebRecord(const QByteArray &body)
{
    if (body.size() > kMaxWebRecordBytes)
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(body);
    if (utf8.hasError() || !text.endsWith(QLatin1String("\r\n")))
        return std::nullopt;
    const qsizetype split = text.indexOf(QLatin1String("\r\n"));
    const QString score = text.left(split);
    const QString holder = text.mid(split + 2, text.size() - split - 4);
    if (score.isEmpty() || score.size() > 6)
        return std::nullopt;
    for (const QChar c : score) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    if (holder.size() > kMaxWebHolderChars)
        return std::nullopt;
    for (const QChar c : holder) {
        if (isFormat(c))
            return std::nullopt;
    }
    return Record{score + QLatin1String("\r\n"), holder + QLatin1String("\r\n")};
}

ServerStore::ServerStore(QString url, Pause pause)
    : m_url(std::move(url))
    , m_pause(std::move(pause))
{
}

Task<Loaded> ServerStore::load()
{
    Loaded loaded;
    const Stored stored = co_await readSettled(m_url, m_pause);
    if (stored.error) {
        loaded.error = stored.error;
        co_return loaded;
    }
    loaded.record = stored.record;
    // A PUT that must not hold, sent beside the record, never to it: where
    // nothing is, an If-Match fails (412) on a server that honours it. A
    // server that takes it ignores conditions, and two games ending
    // together could each overwrite the other; what it made goes again.
    const QString probe = checkAddress(m_url);
    const WebRequest put{"PUT", probe, kNeverMatches, false, kCheckBody};
    const WebReply check = co_await exchange(put, kWebTimeoutMs, 1024);
    if (check.status == 0) {
        loaded.error = serverError(m_url, ServerProblem::Unreachable);
    } else if (check.status >= 200 && check.status < 300) {
        loaded.error = serverError(m_url, ServerProblem::IgnoresConditions);
        const WebRequest remove{"DELETE", probe, {}, false, {}};
        co_await exchange(remove, kWebTimeoutMs, 1024);
    } else if (check.status != 412) {
        // Refused there (a setup that allows the record alone): whether
        // saves are kept apart cannot be told, and none is made.
        loaded.readOnly =
            ServerError{m_url, ServerProblem::CheckRefused, check.status, probe.toUtf8()};
    }
    co_return loaded;
}

Task<std::optional<Record>> ServerStore::peek()
{
    const Stored stored = co_await readStored(m_url);
    if (stored.error)
        co_return std::nullopt;
    co_return stored.record;
}

Task<Begun> ServerStore::beginSave()
{
    Begun begun;
    Stored stored = co_await readStored(m_url);
    // A weak version: the record changed within the last second, another
    // game's save is under way.
    if (stored.weak)
        begun.busy = true;
    else if (stored.error)
        begun.error = stored.error;
    else
        begun.held = std::make_unique<ServerSaveTry>(m_url, m_pause, std::move(stored));
    co_return begun;
}

StoreError ServerStore::busyError() const
{
    return serverError(m_url, ServerProblem::TooManySaves);
}

} // namespace segni::records
