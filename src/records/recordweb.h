// The record kept on a web server (the school's own, with WebDAV): one
// resource holding the whole pair, read with GET and replaced with a PUT
// that holds only if nobody replaced it since it was read (If-Match on its
// ETag, If-None-Match: * when there was none). Two games ending together
// cannot both win: the one the server turns down reads again and decides
// again, with the same rule as a folder's save.
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

#include "recordplace.h"
#include "recordstore.h"
#include "webexchange.h"

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <optional>

namespace segni::records {

// Whether the record place is a web address rather than a folder.
bool isRecordUrl(const QString &place);

// What the server may hold: larger bodies are not a record.
constexpr qint64 kMaxWebRecordBytes = 4 * 1024;
// The longest holder's name written to a server (UTF-8 takes at most four
// bytes a character, well within the server's body limit).
constexpr int kMaxWebHolderChars = 200;
// The highest score a server's record may hold.
constexpr qint64 kMaxWebScore = 999999;
// How long one request may take before the server counts as unreachable.
constexpr int kWebTimeoutMs = 4000;
// How many times a save that another game's save overtook reads and
// decides again.
constexpr int kWebSaveRounds = 12;

// The body for a pair: the score's digits and the holder's name (without
// control or format characters, cut to kMaxWebHolderChars), each with a
// CR LF line end.
QByteArray webRecordBody(const QString &score, const QString &holder);
// The pair a body names, as record files would read back (line ends
// included); nothing for a body that is not one.
std::optional<Record> parseWebRecord(const QByteArray &body);
// Whether an ETag header names a strong validator ("..." but not W/"...").
bool isStrongEtag(const QByteArray &etag);

// A GET waited for (letting timers and the network run, not the pupil's
// input), its body read up to maxBodyBytes.
WebReply getWebText(const QString &url, qint64 maxBodyBytes);
// The record place a settings file's key "url" of [records] names, read
// by QSettings from the file at settingsPath; nothing when there is no
// such key.
std::optional<RecordFolder> urlSetting(const QSettings &settings, const QString &settingsPath);

// Start-up: reads the record and checks that the server can keep it (it
// sends strong ETags and honours If-Match).
Loaded loadWebRecord(const QString &url);
// Saves the pair when its score beats the stored one, reading again and
// deciding again when another game's save came first.
Saved saveWebRecord(const QString &url, const QString &score, const QString &holder);
// How many times this program's saves were overtaken by another game's
// save (the server answered 412) and read and decided again; for the
// benchmark.
int webSaveRetries();
// Never waits: asks the server for the record, and gives the answer to the
// last such request once it has come (nothing until then).
std::optional<Record> peekWebRecord(const QString &url);

} // namespace segni::records
