#include "recordtext.h"

#include "base/numbers.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <iterator>

namespace segni::records {

namespace {

// Windows-1252 differs from Latin-1 in 0x80..0x9f only.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

const QByteArray kIntentHeader = QByteArrayLiteral("segni-record 1\n");

// The text's Windows-1252 bytes, or nothing when a character has none.
std::optional<QByteArray> encodeWindows1252(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xa0 && u <= 0xff)) {
            bytes.append(char(u));
            continue;
        }
        const char16_t *high = std::find(std::begin(kCp1252High), std::end(kCp1252High), u);
        if (u == 0xFFFD || high == std::end(kCp1252High))
            return std::nullopt;
        bytes.append(char(0x80 + (high - std::begin(kCp1252High))));
    }
    return bytes;
}

std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QByteArray encodeLine(const QString &text)
{
    const std::optional<QByteArray> windows = encodeWindows1252(text);
    const bool readsBack = windows && decodeFile(*windows) == text;
    return (readsBack ? *windows : text.toUtf8()) + QByteArrayLiteral("\r\n");
}

QString decodeFile(const QByteArray &bytes)
{
    if (std::optional<QString> text = decodeUtf8(bytes))
        return *text;
    return decodeWindows1252(bytes);
}

bool beatsStoredScore(const QString &storedScore, const QString &score)
{
    return beatsRecord(lenientNumber(storedScore), lenientNumber(score));
}

QString decodeWindows1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text.append(b >= 0x80 && b < 0xa0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

QByteArray intentBytes(const Pair &pair)
{
    return kIntentHeader + QByteArray::number(pair.score.size()) + ' '
        + QByteArray::number(pair.holder.size()) + '\n' + pair.score + pair.holder;
}

std::optional<Pair> parseIntent(const QByteArray &bytes)
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
    return Pair{bytes.mid(lineEnd + 1, scoreSize), bytes.mid(lineEnd + 1 + scoreSize, holderSize)};
}

} // namespace segni::records
