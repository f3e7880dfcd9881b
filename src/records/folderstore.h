// The record in a folder: two one-line text files holding the best score
// ever reached and the name of the pupil who reached it.
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

#include "recordstore.h"
#include "savetransaction.h"

#include <QString>

namespace segni::records {

inline QString scoreFileName() { return QStringLiteral("marvo.txt"); }
inline QString holderFileName() { return QStringLiteral("nmarvo.txt"); }
// The intent of a save under way: the whole new pair.
inline QString intentFileName() { return QStringLiteral("marvo.intent"); }
// Kept in the folder for good; copies of the game lock it in turn.
inline QString lockFileName() { return QStringLiteral("marvo.lock"); }
// There only while a copy holds the lock: which copy, on which machine.
inline QString ownerFileName() { return QStringLiteral("marvo.held"); }

class FolderStore final : public RecordStore
{
public:
    // folder ends in a separator. createFolder: start-up makes the folder
    // when it is missing (the pupil's own; never the class's). A save
    // without the lock pauses before it reads its record back.
    FolderStore(QString folder, bool createFolder, Pause pause = timerPause());

    Task<Loaded> load() override;
    Task<std::optional<Record>> peek() override;
    Task<Begun> beginSave() override;
    StoreError busyError() const override;

    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
    bool m_createFolder;
    Pause m_pause;
};

} // namespace segni::records
