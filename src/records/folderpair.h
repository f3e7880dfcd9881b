// The pieces of the folder's save protocol (see folderstore.h): the kinds
// of the names in the folder, the intent of a save, the pair written in
// place, and reads that never see one save's score beside another's holder.
#pragma once

#include "folderplace.h"
#include "folderstore.h"
#include "recordfile.h"
#include "recordtext.h"

#include <functional>
#include <optional>

namespace segni::records::folder {

using fs::Folder;
using fs::Kind;
using fs::Result;

// A problem with a name inside the folder (its folder is filled in by the
// store).
FileError errorAt(const Folder &folder, const QString &name, const Result &result);

// Each name the store uses is a plain file or missing: a link, a folder,
// a pipe or a device there makes the record unusable.
std::optional<FileError> checkKinds(const Folder &folder);
// Makes each record file that is missing.
std::optional<FileError> ensureFiles(Folder &folder);

// What the intent file holds.
struct Intent
{
    bool present = false;
    bool empty = false;
    bool unreadable = false; // it could not be read: it may name a pair
    std::optional<Pair> pair; // a whole intent's pair
};
Intent readIntent(const Folder &folder);

// Whether the lock is still this copy's: asked before each file is written,
// since a copy held back long enough may have been overtaken. A write it
// refuses fails as Busy.
using StillHeld = std::function<bool()>;

// Writes a pair into both record files where they stand; failed names the
// file that could not be written.
Result writePair(Folder &folder, const Pair &pair, QString &failed, const StillHeld &held);
// Sets the intent aside: removed, or emptied where this account may not
// remove it (an empty intent names no pair).
void discardIntent(Folder &folder, bool empty, const StillHeld &held);
// Under the lock only: completes or sets aside what an earlier save left.
// An intent that is kept is completed but stays: a copy whose lock was
// taken over may still write a file of its own, and a whole intent is what
// is read before the files.
Result settleIntent(Folder &folder, const Intent &intent, QString &failed, const StillHeld &held,
                    bool keep = false);
// Records the decided pair in the intent file, flushed, before either
// record file changes.
Result commitIntent(Folder &folder, const Pair &pair, const StillHeld &held);
// A folder that takes no new file and holds no intent: both files written
// where they stand, the old bytes put back when a write fails. A write the
// check refuses fails as Busy, and nothing is put back then.
std::optional<FileError> writeWithoutIntent(Folder &folder, const Pair &pair,
                                            const StillHeld &held);

// The record a pair of file contents reads as.
Record recordOf(const Pair &pair);
// Both record files as they stand; failed names the one that could not be
// read.
Record readFiles(const Folder &folder, Result &result, QString &failed);
// Without the lock: the intent and both files read in turn until two
// rounds agree, at once (Busy when a save is changing them right now).
Record readConsistent(const Folder &folder, Result &result, QString &failed);

} // namespace segni::records::folder
