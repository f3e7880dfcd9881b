#include "recordweb.h"

#include "webexchange.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSettings>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace segni::records {

namespace {

// An If-Match that no resource's ETag can match: a server that still takes
// the PUT ignores the condition.
const QByteArray kNeverMatches = QByteArrayLiteral("\"segni-check-never-matches\"");

FileError serverError(const QString &url, Problem problem, int status = 0)
{
    return FileError{url, problem, status};
}

// Waits for a request, letting timers and the network run but not the
// pupil's keys and clicks (a box opened meanwhile would be a second wait).
WebReply await(const WebRequest &request, qint64 maxBody = kMaxWebRecordBytes)
{
    const std::unique_ptr<WebExchange> exchange =
        startWebExchange(request, kWebTimeoutMs, maxBody);
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (exchange->finished() || waited.elapsed() > 3 * kWebTimeoutMs)
            loop.quit();
    });
    poll.start(2);
    if (!exchange->finished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return exchange->finished() ? exchange->reply() : WebReply{};
}

void pauseBriefly(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

int g_retries = 0;
// Bumped by every read and save that waits: a refresh asked for before
// one of them is older than what the game shows by then.
int g_generation = 0;

// What a GET found.
struct Stored
{
    std::optional<FileError> error;
    Record record;     // no record: two empty texts
    QByteArray etag;   // empty: there is no resource yet
    QByteArray body;   // as served
};

Stored fromReply(const QString &url, const WebReply &reply)
{
    Stored stored;
    if (reply.status == 404)
        return stored;
    if (reply.status == 0) {
        stored.error = serverError(url, Problem::Unreachable);
    } else if (reply.status != 200) {
        stored.error = serverError(url, Problem::HttpStatus, reply.status);
    } else if (!isStrongEtag(reply.etag)) {
        stored.error = serverError(url, Problem::NoStrongEtag);
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

Stored readStored(const QString &url)
{
    ++g_generation;
    return fromReply(url, await({"GET", url, {}, false, {}}));
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

} // namespace

WebReply getWebText(const QString &url, qint64 maxBodyBytes)
{
    return await({"GET", url, {}, false, {}}, maxBodyBytes);
}

std::optional<RecordFolder> urlSetting(const QSettings &settings, const QString &settingsPath)
{
    const QVariant url = settings.value(QStringLiteral("records/url"));
    if (!url.isValid())
        return std::nullopt;
    RecordFolder found;
    found.shared = true;
    found.path = url.toString().trimmed();
    if (!isRecordUrl(found.path) || QUrl(found.path).host().isEmpty()) {
        found.problem = FileError{settingsPath, Problem::NotUrl};
        found.path.clear();
    }
    return found;
}

bool isRecordUrl(const QString &place)
{
    return place.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || place.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
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

Loaded loadWebRecord(const QString &url)
{
    Loaded loaded;
    const QUrl address(url);
    if (!address.isValid() || address.host().isEmpty()) {
        loaded.error = serverError(url, Problem::NotUrl);
        return loaded;
    }
    const Stored stored = readStored(url);
    if (stored.error) {
        loaded.error = stored.error;
        return loaded;
    }
    loaded.record = stored.record;
    // A PUT that must not hold: a server that takes it ignores conditions,
    // and two games ending together could each overwrite the other. It
    // carries what was just read, so it changes nothing where it holds.
    const WebReply check = await({"PUT", url, kNeverMatches, false, stored.body});
    if (check.status == 0)
        loaded.error = serverError(url, Problem::Unreachable);
    else if (check.status >= 200 && check.status < 300)
        loaded.error = serverError(url, Problem::IgnoresConditions);
    else if (check.status == 401 || check.status == 403 || check.status == 405)
        loaded.readOnly = serverError(url, Problem::WriteRefused, check.status);
    else if (check.status != 412)
        loaded.error = serverError(url, Problem::HttpStatus, check.status);
    return loaded;
}

Saved saveWebRecord(const QString &url, const QString &score, const QString &holder)
{
    const QByteArray body = webRecordBody(score, holder);
    // Nothing is written that a game could not read back as a record.
    const std::optional<Record> written = parseWebRecord(body);
    if (!written)
        return {serverError(url, Problem::TooLarge), {}, {}};
    for (int round = 1; round <= kWebSaveRounds; ++round) {
        const Stored stored = readStored(url);
        if (stored.error)
            return {stored.error, {}, {}};
        if (!beatsStoredScore(stored.record.score, score))
            return {std::nullopt, stored.record, {}};
        WebRequest put{"PUT", url, stored.etag, stored.etag.isEmpty(), body};
        const WebReply reply = await(put, 1024);
        if (reply.status >= 200 && reply.status < 300)
            return {std::nullopt, std::nullopt, *written};
        if (reply.status == 0)
            return {serverError(url, Problem::Unreachable), {}, {}};
        if (reply.status != 412)
            return {serverError(url, Problem::HttpStatus, reply.status), {}, {}};
        ++g_retries;
        // Another game saved between the read and the write: read again
        // after a short wait of its own, so that the games part ways.
        pauseBriefly(QRandomGenerator::global()->bounded(5, 20 + 10 * round));
    }
    return {serverError(url, Problem::HttpStatus, 412), {}, {}};
}

int webSaveRetries()
{
    return g_retries;
}

std::optional<Record> peekWebRecord(const QString &url)
{
    static std::unique_ptr<WebExchange> asked;
    static QString askedUrl;
    static int askedGeneration = 0;
    std::optional<Record> answer;
    if (asked && asked->finished()) {
        const Stored stored = fromReply(askedUrl, asked->reply());
        if (!stored.error && askedUrl == url && askedGeneration == g_generation)
            answer = stored.record;
        asked.reset();
    }
    if (!asked) {
        asked = startWebExchange({"GET", url, {}, false, {}}, kWebTimeoutMs, kMaxWebRecordBytes);
        askedUrl = url;
        askedGeneration = g_generation;
    }
    return answer;
}

} // namespace segni::records
