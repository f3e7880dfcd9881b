// The record store: two one-line text files holding the best score ever
// reached and the name of the pupil who reached it.
//
// The two files are always written as a pair, under a lock that copies of
// the game take in turn. A save first writes the whole new pair into an
// intent file and flushes it; then it writes both record files where they
// stand and sets the intent aside. A start that holds the lock and finds a
// whole intent writes its pair into the files again: so a crash at any
// moment leaves the old pair or the new one, never a score beside another
// pupil's name. Whatever cannot lock never completes, undoes or removes
// anything: it reads the pair a whole intent names, else the files.
#pragma once

#include "recordfile.h"
#include "recordplace.h"
#include "recordtext.h"

#include <QString>

#include <optional>

namespace segni::records {

inline QString scoreFileName() { return QStringLiteral("marvo.txt"); }
inline QString holderFileName() { return QStringLiteral("nmarvo.txt"); }
// The intent of a save under way: the whole new pair.
inline QString intentFileName() { return QStringLiteral("marvo.intent"); }
// Kept in the folder for good; copies of the game lock it in turn.
inline QString lockFileName() { return QStringLiteral("marvo.lock"); }
// There only while a copy holds the lock: which copy, on which machine.
inline QString ownerFileName() { return QStringLiteral("marvo.held"); }

// How long the game waits for another copy's lock without letting other
// events run.
constexpr int kLockWaitMs = 500;

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

// Each of these takes a folder, or the web address of a record on a server
// (see recordweb.h).
//
// Start-up: makes the folder when asked to (and it is missing), completes
// a save that was interrupted, creates each record file when missing, and
// reads the pair.
Loaded loadRecord(const QString &cartella, bool createFolder);

struct Saved
{
    // The save failed; nothing of the record changed.
    std::optional<FileError> error;
    // The stored record was not beaten (another copy saved a record at
    // least as high meanwhile): nothing was written, and this pair stands.
    std::optional<Record> standing;
    // Saved, but not exactly as given (a web server's record keeps a
    // shorter name): the pair as it now stands.
    std::optional<Record> written = std::nullopt;

    bool saved() const { return !error && !standing; }
};

// Saves a record pair when its score still beats the stored one: both
// files, or neither. The comparison and the writes are made under the lock,
// or, where no lock can be had, on a consistent read. Waits up to
// lockWaitMs for another copy that is saving; after that the error says so
// (busy).
Saved saveRecord(const QString &cartella, const QString &score, const QString &holder,
                 bool createFolder = false, int lockWaitMs = kLockWaitMs);

// The stored pair as it stands now, read without the lock and without
// changing anything, consistently: never one save's score beside another's
// holder. Nothing when the files cannot be read. A record on a web server
// is never waited for: this gives the answer to the previous call's
// request, once it has come.
std::optional<Record> peekRecord(const QString &cartella);

// The whole content of a record file, line end included. A file that
// cannot be read, is not a plain file, or is too large to be a record
// file, gives the empty text.
QString readRecordFile(const QString &path);

} // namespace segni::records
