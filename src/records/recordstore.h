// The record store: two one-line text files holding the best score ever
// reached on this machine and the name of the pupil who reached it.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace segni::records {

inline QString scoreFileName() { return QStringLiteral("marvo.txt"); }
inline QString holderFileName() { return QStringLiteral("nmarvo.txt"); }

// Files larger than this are not record files: they count as no record.
// It leaves room for the longest name the name prompt takes (32767
// characters of up to four bytes each).
constexpr qint64 kMaxRecordFileBytes = 256 * 1024;

// Where the record files live on this system: the Windows directory on
// Windows, elsewhere the folder "segni" in the user's data folder
// ($XDG_DATA_HOME/segni, by default ~/.local/share/segni).
QString systemRecordFolder();

// The folder with a trailing separator, ready to have a file name appended.
QString withTrailingSeparator(const QString &folder);

struct FileError
{
    QString path;
    QString reason;
};

// Creates the folder when missing, then each record file when missing,
// leaving existing files untouched.
std::optional<FileError> ensureFiles(const QString &cartella);

// The whole content of a record file, line end included. A file that
// cannot be read, or is too large to be a record file, gives the empty text.
QString readRecordFile(const QString &path);

// Saves a record: the score file, then the holder file, each replaced
// whole (a crash mid-save leaves the previous content), both under a lock
// so two copies of the game never interleave their pairs.
std::optional<FileError> saveRecord(const QString &cartella, const QString &score,
                                    const QString &holder);

// The bytes of a record file: the text and a CR LF line end.
QByteArray encodeLine(const QString &text);
// Text from a record file's bytes: UTF-8, or Windows-1252 when the bytes
// are not valid UTF-8 (files written by the Windows program).
QString decodeFile(const QByteArray &bytes);

} // namespace segni::records
