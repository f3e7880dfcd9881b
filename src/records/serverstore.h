// The record kept on a web server (the school's own, with WebDAV): one
// resource holding the whole pair, read with GET and replaced with a PUT
// that holds only if nobody replaced it since it was read (If-Match on its
// ETag, If-None-Match: * when there was none). Two games ending together
// cannot both win: the one the server turns down reads again and decides
// again, with the same rule as a folder's save. Every PUT is read back:
// a save stands only when the server holds its very body.
//
// Anyone who can reach the address can write it, so what it serves is
// taken only when it is small, valid UTF-8 text and reads as a pair;
// anything else is shown as no record and is replaced by the next one.
//
// The resource's text, in UTF-8:
//
//   12\r\n
//   Anna\r\n
#pragma once

#include "recordstore.h"
#include "savetransaction.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace segni::records {

// What the server may hold: larger bodies are not a record.
constexpr qint64 kMaxWebRecordBytes = 4 * 1024;
// The longest holder's name written to a server (UTF-8 takes at most four
// bytes a character, well within the server's body limit).
constexpr int kMaxWebHolderChars = 200;
// The highest score a server's record may hold.
constexpr qint64 kMaxWebScore = 999999;
// How long one request may take before the server counts as unreachable.
constexpr int kWebTimeoutMs = 4000;
// How long a server's weak ETag is waited out: Apache's mod_dav_fs gives a
// weak one for a second after each write.
constexpr int kWeakEtagWaitMs = 2500;

// The body for a pair: the score's digits and the holder's name (without
// control or format characters, cut to kMaxWebHolderChars), each with a
// CR LF line end.
QByteArray webRecordBody(const QString &score, const QString &holder);
// The pair a body names, as record files would read back (line ends
// included); nothing for a body that is not one.
std::optional<Record> parseWebRecord(const QByteArray &body);
// Whether an ETag header names a strong validator ("..." but not W/"...").
bool isStrongEtag(const QByteArray &etag);
// Where start-up checks that the server honours If-Match: beside the
// record (its address with .segni-check added), where nothing is.
QString checkAddress(const QString &url);

class ServerStore final : public RecordStore
{
public:
    // A version the server calls weak is waited out in pauses.
    explicit ServerStore(QString url, Pause pause = timerPause());

    // Start-up also checks that the server can keep saves apart: it sends
    // strong ETags and honours If-Match. The check never writes the record.
    Task<Loaded> load() override;
    Task<std::optional<Record>> peek() override;
    Task<Begun> beginSave() override;
    StoreError busyError() const override;

private:
    QString m_url;
    Pause m_pause;
};

} // namespace segni::records
