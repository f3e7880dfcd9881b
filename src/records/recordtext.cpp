#include "recordtext.h"

#include <QList>
#include <QStringDecoder>

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

} // namespace

QByteArray encodeLine(const QString &text)
{
    return text.toLocal8Bit() + QByteArrayLiteral("\r\n");
}

QString decodeFile(const QByteArray &bytes)
{
    QStringDecoder system(QStringDecoder::System, QStringDecoder::Flag::Stateless);
    const QString text = system.decode(bytes);
    return system.hasError() ? decodeWindows1252(bytes) : text;
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
