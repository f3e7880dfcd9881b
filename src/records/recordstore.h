// The record store: two one-line text files holding the best score ever
// reached on this machine and the name of the pupil who reached it.
//
// The two files are always replaced as a pair: a save first writes the
// new pair in full beside them (the two new files and an intent file that
// names the pair), then puts both in place and removes the intent. The
// next start completes a save that a crash or a power cut interrupted, so
// a score is never seen beside another pupil's name.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace segni::records {

inline QString scoreFileName() { return QStringLiteral("marvo.txt"); }
inline QString holderFileName() { return QStringLiteral("nmarvo.txt"); }
// The intent of a save under way: the whole new pair.
inline QString intentFileName() { return QStringLiteral("marvo.intent"); }
// Kept in the folder for good; copies of the game lock it in turn.
inline QString lockFileName() { return QStringLiteral("marvo.lock"); }

// Files larger than this are not record files: they count as no record.
// It leaves room for the longest name the name prompt takes (32767
// characters of up to four bytes each).
constexpr qint64 kMaxRecordFileBytes = 256 * 1024;

// How long the game waits for another copy's lock without letting other
// events run.
constexpr int kLockWaitMs = 500;

struct FileError
{
    QString path;
    QString reason;
    // Another copy of the game is saving: trying again later may work.
    bool busy = false;
};

// Where the record files live on this system when nobody chose otherwise:
// the Windows directory on Windows, elsewhere the folder "segni" in the
// user's data folder ($XDG_DATA_HOME/segni, by default ~/.local/share/segni).
QString systemRecordFolder();

// The record folder of this machine: the one the administrator set for
// every account (key "folder" of group [records] in segni/segni.conf in
// the system configuration folders, $XDG_CONFIG_DIRS or /etc/xdg), else
// systemRecordFolder().
struct RecordFolder
{
    QString path;
    // Set by the administrator: the game never makes it, and never uses
    // another folder in its place (the class would have two records).
    bool shared = false;
    // Why the administrator's setting could not be used; path is empty.
    std::optional<FileError> problem;
};
RecordFolder locateRecordFolder();
// The system-wide configuration folders, most important first; the user's
// own configuration folder is not among them.
QStringList systemConfigFolders();

// The folder with a trailing separator, ready to have a file name appended.
QString withTrailingSeparator(const QString &folder);

struct Record
{
    QString score;  // the score file's whole text, line end included
    QString holder; // the holder file's whole text, line end included
};

struct Loaded
{
    Record record;
    // The files cannot be used: no record is shown, and none is saved.
    std::optional<FileError> error;
    // The record can be read but this account cannot save one.
    std::optional<FileError> readOnly;
};

// Start-up: makes the folder when asked to (and it is missing), completes
// a save that was interrupted, tidies what a crash left behind, creates
// each record file when missing, and reads the pair.
Loaded loadRecord(const QString &cartella, bool createFolder);

// Saves a record pair. Nothing is changed unless both files can be
// replaced. Waits up to lockWaitMs for another copy that is saving;
// after that the error says so (busy).
std::optional<FileError> saveRecord(const QString &cartella, const QString &score,
                                    const QString &holder, bool createFolder = false,
                                    int lockWaitMs = kLockWaitMs);

// The whole content of a record file, line end included. A file that
// cannot be read, is not a plain file, or is too large to be a record
// file, gives the empty text.
QString readRecordFile(const QString &path);

// The bytes of a record file: the text and a CR LF line end.
QByteArray encodeLine(const QString &text);
// Text from a record file's bytes: UTF-8, or Windows-1252 when the bytes
// are not valid UTF-8 (files written by the Windows program).
QString decodeFile(const QByteArray &bytes);

} // namespace segni::records
