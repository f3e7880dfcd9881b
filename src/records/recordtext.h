// The bytes of the record files and of a save's intent: pure functions.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace segni::records {

// Files larger than this are not record files: they count as no record.
// It leaves room for the longest name the name prompt takes (32767
// characters of up to four bytes each).
constexpr qint64 kMaxRecordFileBytes = 256 * 1024;

// The bytes of a record file, the same on every system: the text in
// Windows-1252 where it fits, as every record file has always been written,
// else in UTF-8; then a CR LF line end. A text whose Windows-1252 bytes
// would read back as other UTF-8 text is written in UTF-8, so that
// decodeFile always gives back exactly the text.
QByteArray encodeLine(const QString &text);
// Text from a record file's bytes, line end included: valid UTF-8 as
// UTF-8, anything else as Windows-1252.
QString decodeFile(const QByteArray &bytes);
QString decodeWindows1252(const QByteArray &bytes);

// Whether a game's score beats the stored record: the stored score file's
// text read leniently (an empty or odd file counts as 0) is strictly less.
bool beatsStoredScore(const QString &storedScore, const QString &score);

// The bytes of both record files.
struct Pair
{
    QByteArray score;
    QByteArray holder;

    friend bool operator==(const Pair &a, const Pair &b)
    {
        return a.score == b.score && a.holder == b.holder;
    }
};

// The intent of a save: the whole new pair, in a form that tells a whole
// intent from one a crash cut short.
//
//   segni-record 1\n
//   <bytes of the score file> <bytes of the holder file>\n
//   <the score file's bytes><the holder file's bytes>
QByteArray intentBytes(const Pair &pair);
// The pair a whole intent names; nothing for anything else (an empty
// file, one cut short, junk).
std::optional<Pair> parseIntent(const QByteArray &bytes);
constexpr qint64 kMaxIntentBytes = 2 * kMaxRecordFileBytes + 64;

} // namespace segni::records
